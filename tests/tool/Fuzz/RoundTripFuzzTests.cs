using System;
using System.Collections.Generic;
using System.IO;
using NUnit.Framework;

namespace tool.Tests.Fuzz
{
    /// <summary>
    /// Generated well-formed packages through extraction, editing and import:
    /// extraction gives the generator's texts, edited lines come back exactly
    /// from the compiled package (all but those of 8-bit spoken texts and
    /// comments, which it holds as UTF-16), every other byte of it is as the
    /// model says, and the compiled package compiles again from its own
    /// extracted text file.
    /// </summary>
    [TestFixture]
    public class RoundTripFuzzTests
    {
        private const int Family = 1;

        [Test]
        public void EditedLinesComeBackAndEveryOtherByteStays()
        {
            new FuzzBudget(120, 6.0, 0.35).Run(GetType().Name, RunCase);
        }

        private static void RunCase(long number, FaultList faults)
        {
            var rng = FuzzRandom.ForCase(Family, number);
            string id = "round trip " + number;
            GeneratedPackage g = RandomPackage.Generate(rng, new RandomPackageOptions());
            using (var folder = new TempFolder())
            {
                File.WriteAllBytes(folder.File("Pkg.upk"), g.Bytes);
                if (!FuzzSteps.Extract(id, folder.Path, "Pkg.upk", faults))
                {
                    faults.Add(id, "a well-formed package with " + g.Lines.Count + " texts gave no text file");
                    return;
                }
                FuzzSteps.CompareLines(id, "extraction", g.Lines, FuzzSteps.ReadValues(folder.File("Pkg.txt")), faults);

                List<string> edited = FuzzSteps.FileLines(g);
                for (int i = 0; i < edited.Count; i++)
                {
                    if (rng.OneIn(3)) edited[i] = TextMutations.EditLine(rng, edited[i]);
                }
                if (rng.OneIn(4)) edited.Add("a surplus line that no text takes");
                // The last line may go without its line end, unless it is empty: then it would be gone.
                bool endLast = !rng.OneIn(5) || edited[edited.Count - 1].Length == 0;
                string text = TextMutations.Join(edited, rng.OneIn(4) ? "\n" : "\r\n", endLast);
                string form = "UTF-16LE with mark";
                byte[] bytes = TextMutations.IsWellFormed(text) ? TextMutations.Encode(rng, text, out form) : TextMutations.Utf16LE(text);
                File.WriteAllBytes(folder.File("Pkg.txt"), bytes);
                if (rng.OneIn(2)) File.WriteAllBytes(folder.File("Pkg.upk.clxi"), FuzzSteps.Sentinel);
                id += " (" + form + ")";

                string output;
                if (!FuzzSteps.Import(id, folder.Path, "Pkg.txt", faults, out output))
                {
                    faults.Add(id, "a well-formed package with all its lines was not compiled: " + FuzzChecks.Excerpt(output));
                    return;
                }
                byte[] compiled = File.ReadAllBytes(folder.File("Pkg.upk.clxi"));
                CompiledModel.Verify(id, g, compiled, faults);
                List<string> fileLines = TextFiles.Lines(bytes);
                var values = new List<string>();
                foreach (string line in fileLines) values.Add(TextFile.UnescapeLine(line));
                CompiledModel.VerifyRewrittenData(id, g, compiled, values, faults);
                var lineExports = new List<int>();
                List<string> expected = CompiledModel.ExpectedLinesAfterImport(g, fileLines, lineExports);
                FuzzSteps.ExtractCompiled(id, folder.Path, compiled, expected, faults);
                CompileTheCompiledPackage(rng, id, g, Path.Combine(folder.Path, "again"), expected, lineExports, faults);
            }
        }

        /// <summary>
        /// The text file extracted from the compiled package, edited, compiles
        /// into that package with every line reaching its own text: what the
        /// package dropped from the file it drops from the package too.
        /// </summary>
        private static void CompileTheCompiledPackage(FuzzRandom rng, string id, GeneratedPackage g, string folder,
            List<string> extracted, List<int> lineExports, FaultList faults)
        {
            string textPath = Path.Combine(folder, "Compiled.txt");
            if (!File.Exists(textPath)) return;
            List<string> lines = TextFiles.Lines(File.ReadAllBytes(textPath));
            // A different count is a fault already reported.
            if (lines.Count != extracted.Count) return;
            for (int i = 0; i < lines.Count; i++)
            {
                if (rng.OneIn(3)) lines[i] = TextMutations.EditLine(rng, lines[i]);
            }
            File.WriteAllBytes(textPath, TextFiles.Of(lines.ToArray()));
            id += " (compiled again)";
            string output;
            if (!FuzzSteps.Import(id, folder, "Compiled.txt", faults, out output))
            {
                faults.Add(id, "the compiled package with its own text file was not compiled: " + FuzzChecks.Excerpt(output));
                return;
            }
            var expected = new List<string>();
            for (int i = 0; i < lines.Count; i++)
                expected.Add(g.IsRewritten(lineExports[i]) ? TextFile.UnescapeLine(lines[i]).TrimEnd('\0') : extracted[i]);
            FuzzSteps.ExtractCompiled(id, folder, File.ReadAllBytes(Path.Combine(folder, "Compiled.upk.clxi")), expected, faults);
        }
    }
}
