#!/bin/sh
# Regenerates the demo package samples/Demo.upk: scripts/make-demo.sh
# Compiles the Text tool, the test package builder, the property writer and
# the demo's description into a throw-away folder and runs the generator.
set -eu
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mcs -nologo -noconfig -target:exe -langversion:7 -codepage:utf8 -r:mscorlib.dll \
    -out:"$work/Scrivel.exe" $(find tool -name '*.cs')
mcs -nologo -target:exe -langversion:7 -codepage:utf8 -r:"$work/Scrivel.exe" \
    -out:"$work/MakeDemo.exe" samples/MakeDemo.cs \
    tests/tool/DemoPackage.cs tests/tool/PackageBuilder.cs tests/tool/PropertyWriter.cs
mono "$work/MakeDemo.exe" samples/Demo.upk
