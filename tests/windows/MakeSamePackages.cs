using System;
using System.IO;
using tool.Tests.Fuzz;

// Writes well-formed random packages for comparing the Windows executable
// with the Linux one:
//   mono MakeSamePackages.exe FOLDER COUNT
// gives FOLDER/Random01.upk ... with the fuzzer's generator, seeded by the
// case number, so every run writes the same files.
public static class MakeSamePackages
{
    public static int Main(string[] args)
    {
        if (args.Length != 2)
        {
            Console.Error.WriteLine("usage: MakeSamePackages.exe FOLDER COUNT");
            return 2;
        }
        int count = int.Parse(args[1]);
        Directory.CreateDirectory(args[0]);
        var options = new RandomPackageOptions { MaxExports = 12, MaxDepth = 4 };
        for (int i = 1; i <= count; i++)
        {
            GeneratedPackage g = RandomPackage.Generate(FuzzRandom.ForCase(7, i), options);
            File.WriteAllBytes(Path.Combine(args[0], string.Format("Random{0:D2}.upk", i)), g.Bytes);
        }
        return 0;
    }
}
