# The Debian mono source package the Windows runtime is built from: the
# version Debian 12 ships, so the runtime matches the compiler and class
# libraries the rest of the build uses.
MONO_DEBIAN_VERSION=6.8.0.105+dfsg-3.3+deb12u1
MONO_UPSTREAM=6.8.0.105
