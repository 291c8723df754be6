using System;
using System.Collections.Generic;
using System.IO;
using tool;
using tool.Tests.Fuzz;

// Writes the cases of a differential run (bench/differential.sh) with the
// fuzzer's generators:
//   mono DifferentialCases.exe FOLDER COUNT
// gives FOLDER/0001/Pkg.upk and Pkg.txt up to COUNT, the same on every run
// (each case is seeded by its number). Three kinds take turns: a well-formed
// package with its text file edited as translators' editors leave it (other
// encodings and line ends, lines edited, missing or added); a damaged
// package, its tables in any order, with its lines; a well-formed package
// with a text file damaged below the level of lines.
public static class DifferentialCases
{
    public static int Main(string[] args)
    {
        if (args.Length != 2)
        {
            Console.Error.WriteLine("usage: DifferentialCases.exe FOLDER COUNT");
            return 2;
        }
        int count = int.Parse(args[1]);
        for (int i = 1; i <= count; i++)
        {
            var rng = FuzzRandom.ForCase(11, i);
            int kind = i % 3;
            var options = new RandomPackageOptions { MaxExports = 6, MaxDepth = 3 };
            options.TableOrderVariety = kind == 2;
            options.RequireText = kind != 2;
            GeneratedPackage g = RandomPackage.Generate(rng, options);
            byte[] package = (byte[])g.Bytes.Clone();
            if (kind == 2) PackageMutations.Apply(rng, g, ref package);

            var lines = new List<string>();
            foreach (string value in g.Lines) lines.Add(TextFile.EscapeLine(value));
            for (int k = 0; k < lines.Count; k++)
                if (rng.OneIn(3)) lines[k] = TextMutations.EditLine(rng, lines[k]);
            if (lines.Count > 0 && rng.OneIn(5)) lines.RemoveAt(rng.Next(lines.Count));
            if (rng.OneIn(5)) lines.Add(TextMutations.EditLine(rng, "surplus"));
            string text = TextMutations.Join(lines, rng.Pick(new[] { "\r\n", "\r\n", "\n", "\r" }), !rng.OneIn(4));
            string form;
            byte[] textBytes = TextMutations.IsWellFormed(text) ? TextMutations.Encode(rng, text, out form) : TextMutations.Utf16LE(text);
            if (kind == 0) TextMutations.DamageBytes(rng, ref textBytes);

            string dir = Path.Combine(args[0], i.ToString("D4"));
            Directory.CreateDirectory(dir);
            File.WriteAllBytes(Path.Combine(dir, "Pkg.upk"), package);
            File.WriteAllBytes(Path.Combine(dir, "Pkg.txt"), textBytes);
        }
        return 0;
    }
}
