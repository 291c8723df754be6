using System;
using System.IO;

namespace tool.Samples
{
    /// <summary>
    /// Writes the demo package: MakeDemo.exe [output path]. The package is
    /// described in tests/tool/DemoPackage.cs, which the tests also build, so
    /// the committed file and its description cannot drift apart unnoticed.
    /// </summary>
    public static class MakeDemo
    {
        public static int Main(string[] args)
        {
            string path = args.Length > 0 ? args[0] : Path.Combine("samples", "Demo.upk");
            byte[] package = tool.Tests.DemoPackage.Build();
            File.WriteAllBytes(path, package);
            Console.WriteLine("Wrote " + path + " (" + package.Length + " bytes)");
            return 0;
        }
    }
}
