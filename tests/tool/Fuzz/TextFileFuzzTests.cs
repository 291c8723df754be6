using System;
using System.Collections.Generic;
using System.IO;
using NUnit.Framework;

namespace tool.Tests.Fuzz
{
    /// <summary>
    /// Text files in other encodings, with other line ends, lone carriage
    /// returns, lines missing or added, and damaged bytes, imported into
    /// well-formed packages: compiled exactly when there are enough lines,
    /// and then with the lines the reader saw.
    /// </summary>
    [TestFixture]
    public class TextFileFuzzTests
    {
        private const int Family = 3;

        [Test]
        public void EditedTextFilesCompileOrAreRefusedCleanly()
        {
            new FuzzBudget(200, 5.0, 0.2).Run(GetType().Name, RunCase);
        }

        private static void RunCase(long number, FaultList faults)
        {
            var rng = FuzzRandom.ForCase(Family, number);
            var options = new RandomPackageOptions();
            options.MaxExports = 5;
            options.MaxDepth = 2;
            GeneratedPackage g = RandomPackage.Generate(rng, options);
            List<string> lines = FuzzSteps.FileLines(g);
            var done = new List<string>();
            int edits = rng.Next(1, 4);
            for (int e = 0; e < edits; e++) done.Add(EditLines(rng, lines));
            string lineEnd = rng.Pick(new[] { "\r\n", "\n", "\r" });
            string text = TextMutations.Join(lines, lineEnd, !rng.OneIn(4));
            string form = "UTF-16LE with mark";
            byte[] bytes = TextMutations.IsWellFormed(text) ? TextMutations.Encode(rng, text, out form) : TextMutations.Utf16LE(text);
            done.Add(form);
            bool damaged = rng.OneIn(5);
            if (damaged) done.Add(TextMutations.DamageBytes(rng, ref bytes));
            string id = "text file " + number + " (" + string.Join(", ", done.ToArray()) + ")";

            using (var folder = new TempFolder())
            {
                File.WriteAllBytes(folder.File("Pkg.upk"), g.Bytes);
                File.WriteAllBytes(folder.File("Pkg.txt"), bytes);
                if (rng.OneIn(2)) File.WriteAllBytes(folder.File("Pkg.upk.clxi"), FuzzSteps.Sentinel);
                bool compiled = FuzzSteps.Import(id, folder.Path, "Pkg.txt", faults);

                List<string> seen = TextFiles.Lines(bytes);
                // Where the mark says what the text is, the lines are the text's own (a
                // UTF-16 text that begins with a NUL may read as UTF-32, as it should).
                bool marked = !damaged && form.EndsWith("with mark") && !(text.Length > 0 && text[0] == '\0');
                if (marked && string.Join("\n", TextMutations.Lines(text)) != string.Join("\n", seen))
                {
                    faults.Add(id, "the lines read are not the text's lines");
                    return;
                }
                bool enough = seen.Count >= g.Lines.Count;
                if (compiled != enough)
                {
                    faults.Add(id, (compiled ? "compiled with " : "refused with ") + seen.Count + " lines for "
                        + g.Lines.Count + " texts");
                    return;
                }
                if (!compiled) return;
                byte[] output = File.ReadAllBytes(folder.File("Pkg.upk.clxi"));
                CompiledModel.Verify(id, g, output, faults);
                FuzzSteps.ExtractCompiled(id, folder.Path, output, CompiledModel.ExpectedLinesAfterImport(g, seen), faults);
            }
        }

        /// <summary>One change to the list of lines; returns what it was.</summary>
        private static string EditLines(FuzzRandom rng, List<string> lines)
        {
            int at = lines.Count == 0 ? 0 : rng.Next(lines.Count);
            switch (rng.Next(8))
            {
                case 0:
                    if (lines.Count > 0) lines.RemoveAt(at);
                    return "line removed";
                case 1:
                    lines.Add(TextMutations.EditLine(rng, "extra"));
                    return "line added";
                case 2:
                    if (lines.Count > 0) lines.Insert(at, lines[at]);
                    return "line doubled";
                case 3:
                    if (lines.Count > 0) lines[at] = lines[at] + "\r" + "split";
                    return "lone CR";
                case 4:
                    lines.Clear();
                    return "all lines gone";
                case 5:
                    lines.Add("");
                    return "empty line at the end";
                default:
                    if (lines.Count > 0) lines[at] = TextMutations.EditLine(rng, lines[at]);
                    return "line edited";
            }
        }
    }
}
