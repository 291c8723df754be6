using System;
using System.Collections.Generic;
using System.IO;
using NUnit.Framework;

namespace tool.Tests.Fuzz
{
    /// <summary>
    /// Generated well-formed packages through extraction, editing and import:
    /// extraction gives the generator's texts, edited lines come back exactly
    /// from the compiled package, and every other byte of it is as the model
    /// says.
    /// </summary>
    [TestFixture]
    public class RoundTripFuzzTests
    {
        private const int Family = 1;

        [Test]
        public void EditedLinesComeBackAndEveryOtherByteStays()
        {
            var faults = new FaultList();
            var budget = new FuzzBudget(120, 6.0, 0.35);
            for (long c = budget.First; budget.Continue(c); c++)
            {
                RunCase(c, faults);
                faults.Cases++;
            }
            Console.WriteLine(GetType().Name + ": " + faults.Summary());
            Assert.Greater(faults.Cases, 0);
            Assert.AreEqual(0, faults.Count, faults.Report());
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
                byte[] bytes = TextMutations.IsWellFormed(text) ? TextMutations.Encode(rng, text, out form) : TextFile.Encode(text);
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
                List<string> fileLines = TextFile.ReadLines(bytes);
                var values = new List<string>();
                foreach (string line in fileLines) values.Add(TextFile.UnescapeLine(line));
                CompiledModel.VerifyRewrittenData(id, g, compiled, values, faults);
                FuzzSteps.ExtractCompiled(id, folder.Path, compiled, CompiledModel.ExpectedLinesAfterImport(g, fileLines), faults);
            }
        }
    }
}
