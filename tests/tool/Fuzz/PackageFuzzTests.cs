using System;
using System.Collections.Generic;
using System.IO;
using NUnit.Framework;

namespace tool.Tests.Fuzz
{
    /// <summary>
    /// Damaged packages through extraction, import and whole runs: whatever a
    /// package holds, the tool reports it on the console, writes nothing for
    /// a file it refuses, leaves earlier outputs alone, and neither hangs,
    /// nor runs out of stack, nor allocates out of proportion to the file.
    /// </summary>
    [TestFixture]
    public class PackageFuzzTests
    {
        private const int Family = 2;

        [Test]
        public void DamagedPackagesAreHandledCleanly()
        {
            new FuzzBudget(300, 7.0, 0.45).Run(GetType().Name, RunCase);
        }

        private static void RunCase(long number, FaultList faults)
        {
            var rng = FuzzRandom.ForCase(Family, number);
            var options = new RandomPackageOptions();
            options.MaxExports = 5;
            options.MaxDepth = 2;
            options.TableOrderVariety = true;
            options.RequireText = false;
            GeneratedPackage g = RandomPackage.Generate(rng, options);
            byte[] bytes = (byte[])g.Bytes.Clone();
            string id = "package " + number + " (" + PackageMutations.Apply(rng, g, ref bytes) + ")";

            List<string> lines = FuzzSteps.FileLines(g);
            for (int i = 0; i < lines.Count; i++)
            {
                if (rng.OneIn(3)) lines[i] = TextMutations.EditLine(rng, lines[i]);
            }
            byte[] text = TextFiles.Of(lines.ToArray());

            using (var folder = new TempFolder())
            {
                string extract = Path.Combine(folder.Path, "extract");
                string import = Path.Combine(folder.Path, "import");
                Directory.CreateDirectory(extract);
                Directory.CreateDirectory(import);

                File.WriteAllBytes(Path.Combine(extract, "Pkg.upk"), bytes);
                if (rng.OneIn(2)) File.WriteAllBytes(Path.Combine(extract, "Pkg.txt"), FuzzSteps.Sentinel);
                FuzzSteps.Extract(id, extract, "Pkg.upk", faults);

                File.WriteAllBytes(Path.Combine(import, "Pkg.upk"), bytes);
                File.WriteAllBytes(Path.Combine(import, "Pkg.txt"), text);
                if (rng.OneIn(2)) File.WriteAllBytes(Path.Combine(import, "Pkg.upk.clxi"), FuzzSteps.Sentinel);
                if (FuzzSteps.Import(id, import, "Pkg.txt", faults))
                {
                    // Whatever import made of a damaged package must itself be safe to read.
                    string again = Path.Combine(import, "again");
                    Directory.CreateDirectory(again);
                    File.Copy(Path.Combine(import, "Pkg.upk.clxi"), Path.Combine(again, "Compiled.upk"));
                    FuzzSteps.Extract(id + " (compiled)", again, "Compiled.upk", faults);
                }

                if (number % 4 == 0)
                {
                    string whole = Path.Combine(folder.Path, "whole");
                    Directory.CreateDirectory(whole);
                    File.WriteAllBytes(Path.Combine(whole, "Pkg.upk"), bytes);
                    File.WriteAllBytes(Path.Combine(whole, "Pkg.txt"), text);
                    FuzzSteps.Main(id + " (Main)", faults, Path.Combine(whole, "Pkg.txt"), Path.Combine(whole, "Pkg.upk"));
                }
            }
        }

        /// <summary>
        /// A few packages cut at every table boundary and at the start and end
        /// of every export's data, a byte either side included.
        /// </summary>
        [Test]
        public void PackagesCutAtEveryBoundaryAreHandledCleanly()
        {
            var faults = new FaultList();
            for (int number = 0; number < 6; number++)
            {
                var rng = FuzzRandom.ForCase(Family + 100, number);
                GeneratedPackage g = RandomPackage.Generate(rng, new RandomPackageOptions());
                PackageBuilder b = g.Builder;
                var cuts = new SortedSet<int> { 0, 3, 4, 8, 12, 16, 20, b.PackageFlagsOffset + 4 };
                foreach (int at in new[] { b.SummaryEnd, b.NameTableOffset, b.NameTableEnd, b.ImportTableOffset,
                    b.ImportTableEnd, b.ExportTableOffset, b.ExportTableEnd, b.SerialAreaOffset })
                {
                    cuts.Add(at - 1); cuts.Add(at); cuts.Add(at + 1);
                }
                foreach (BuiltExport e in b.Exports)
                {
                    foreach (int at in new[] { e.EntryOffset, e.SerialOffset, e.SerialOffset + 4, e.SerialOffset + e.SerialData.Length })
                    {
                        cuts.Add(at - 1); cuts.Add(at); cuts.Add(at + 1);
                    }
                }
                byte[] text = TextFiles.Of(FuzzSteps.FileLines(g).ToArray());
                foreach (int cut in cuts)
                {
                    if (cut < 0 || cut >= g.Bytes.Length) continue;
                    var bytes = new byte[cut];
                    Buffer.BlockCopy(g.Bytes, 0, bytes, 0, cut);
                    string id = "package " + number + " cut at " + cut;
                    using (var folder = new TempFolder())
                    {
                        File.WriteAllBytes(folder.File("Pkg.upk"), bytes);
                        File.WriteAllBytes(folder.File("Pkg.txt"), FuzzSteps.Sentinel);
                        if (FuzzSteps.Extract(id, folder.Path, "Pkg.upk", faults) && cut < b.Exports[0].SerialOffset)
                            faults.Add(id, "a package cut before its first export's data was extracted");
                        File.WriteAllBytes(folder.File("Pkg.txt"), text);
                        File.WriteAllBytes(folder.File("Pkg.upk.clxi"), FuzzSteps.Sentinel);
                        FuzzSteps.Import(id, folder.Path, "Pkg.txt", faults);
                    }
                    faults.Cases++;
                }
            }
            Console.WriteLine("Cuts: " + faults.Summary());
            Assert.Greater(faults.Cases, 50);
            Assert.AreEqual(0, faults.Count, faults.Report());
        }

        /// <summary>
        /// Arrays nested far deeper than any call stack allows for recursion:
        /// both walks must get through on a 1 MB stack, and import must give
        /// back every level.
        /// </summary>
        [Test]
        public void DeeplyNestedArraysNeedNoDeepStack()
        {
            const int depth = 50000;
            var b = new PackageBuilder();
            var w = new PropertyWriter(b.Names);
            int arrayName = w.NameIndex("Entries");
            int arrayType = w.NameIndex("ArrayProperty");
            int none = w.NameIndex("None");
            var leaf = w.Nested();
            leaf.Str("Text", "deep").None();
            byte[] inner = leaf.ToArray();
            // Each level is a list holding one array whose single element is
            // the level below: 28 bytes of array tag, size and count before
            // the level below, its list's "None" after it.
            const int levelBytes = 16 + 8 + 4 + 8;
            var data = new byte[4 + depth * levelBytes + inner.Length];
            int p = 4;
            for (int level = 0; level < depth; level++)
            {
                p = Put(data, p, arrayName); p = Put(data, p, 0);
                p = Put(data, p, arrayType); p = Put(data, p, 0);
                p = Put(data, p, 4 + (depth - level - 1) * levelBytes + inner.Length); p = Put(data, p, 0);
                p = Put(data, p, 1);
            }
            Buffer.BlockCopy(inner, 0, data, p, inner.Length);
            p += inner.Length;
            for (int level = 0; level < depth; level++)
            {
                p = Put(data, p, none); p = Put(data, p, 0);
            }
            b.AddExport("SoundNodeWave", data);

            var faults = new FaultList();
            using (var folder = new TempFolder())
            {
                b.WriteTo(folder.File("Deep.upk"));
                Assert.IsTrue(FuzzSteps.Extract("deep", folder.Path, "Deep.upk", faults), faults.Report());
                CollectionAssert.AreEqual(new[] { "deep" }, FuzzSteps.ReadValues(folder.File("Deep.txt")));
                File.WriteAllBytes(folder.File("Deep.txt"), TextFiles.Of("deeper still"));
                Assert.IsTrue(FuzzSteps.Import("deep", folder.Path, "Deep.txt", faults), faults.Report());
                FuzzSteps.ExtractCompiled("deep", folder.Path, File.ReadAllBytes(folder.File("Deep.upk.clxi")),
                    new List<string> { "deeper still" }, faults);
            }
            Assert.AreEqual(0, faults.Count, faults.Report());
        }

        private static int Put(byte[] bytes, int at, int value)
        {
            BitConverter.GetBytes(value).CopyTo(bytes, at);
            return at + 4;
        }
    }
}
