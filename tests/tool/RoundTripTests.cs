using System;
using System.Collections.Generic;
using System.IO;
using System.Text;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    /// <summary>
    /// Extraction and import through the tool's entry point, one after the
    /// other: a compiled package extracts to the lines it was compiled from,
    /// and can itself be compiled again.
    /// </summary>
    [TestFixture]
    public class RoundTripTests
    {
        private TempFolder folder;

        [SetUp]
        public void CreateFolder() { folder = new TempFolder(); }

        [TearDown]
        public void DeleteFolder() { folder.Dispose(); }

        /// <summary>Extracts name.upk; returns its text file's lines (null when none was written).</summary>
        private List<string> Extract(string name)
        {
            ToolRun.Main(folder.File(name + ".upk"));
            string text = folder.File(name + ".txt");
            return File.Exists(text) ? TextFile.ReadLines(File.ReadAllBytes(text)) : null;
        }

        /// <summary>Writes the lines as name.txt (UTF-16LE, CR LF), imports it; returns the console.</summary>
        private string Import(string name, IList<string> lines)
        {
            var body = new StringBuilder();
            foreach (string line in lines) body.Append(line).Append("\r\n");
            var bytes = new List<byte> { 0xFF, 0xFE };
            bytes.AddRange(Encoding.Unicode.GetBytes(body.ToString()));
            File.WriteAllBytes(folder.File(name + ".txt"), bytes.ToArray());
            return ToolRun.Main(folder.File(name + ".txt"));
        }

        /// <summary>Takes name.upk.clxi as the package next.upk.</summary>
        private void Promote(string name, string next)
        {
            File.Copy(folder.File(name + ".upk.clxi"), folder.File(next + ".upk"), true);
        }

        /// <summary>A package of many shapes, with the index of every line that belongs to an extended sound.</summary>
        private static byte[] VariedPackage(out HashSet<int> extendedLines)
        {
            var b = new PackageBuilder();
            var names = new PropertyWriter(b.Names);
            b.GapAfterSummary = PackageBuilder.Pattern(12, 1);
            b.AddExport("SoundCue", PackageBuilder.Pattern(24, 2));
            b.AddExport("AttributePresentationDefinition", names.Nested()
                .StructTags("Entry", "AttributeEntry", s => s
                    .Str("Text", "In a struct")
                    .Array("Notes", 2, e =>
                    {
                        e.Str("Description", "nested one").None();
                        e.Array("Deeper", 1, d => d.StrUtf16("Text", "nested \u00FCber two").None()).None();
                    })
                    .None())
                .Str("Comment", "8-bit comment")
                .StrUtf16("Comment", "not a text")
                .Str("Caption", "not a text either")
                .None().ToSerialData(7));
            b.AddExport("SoundNodeWaveEx", names.Nested().Str("SpokenText", "extended one").Str("Text", "extended two").None().ToSerialData());
            b.AddExport("SoundNodeWave", names.Nested()
                .Str("SpokenText", "Spoken")
                .ByteEnum("DecompressionType", "EDecompressionType", "DTYPE_Native")
                .Array("LocalizedSubtitles", 1, e => e
                    .Str("LanguageExt", "INT")
                    .Array("Subtitles", 2, c =>
                    {
                        c.Str("Text", "cue one").Float("Time", 0f).None();
                        c.Str("Text", "cue\ntwo").Float("Time", 1f).None();
                    })
                    .None())
                .None()
                .AdditionalData(PackageBuilder.Pattern(40, 3), new[] { 0x1, 0, 0x20, 0 }).ToSerialData());
            b.Exports[3].GapBefore = PackageBuilder.Pattern(6, 4);
            b.SerialOrder = new[] { 3, 2, 1, 0 };
            b.Trailer = PackageBuilder.Pattern(10, 5);
            extendedLines = new HashSet<int> { 4, 5 };
            return b.Build();
        }

        private static string Edited(string line, int index)
        {
            return index % 3 == 0 ? "" : "\u00AB" + line + "\u00BB {\\n}#" + index;
        }

        [Test]
        public void UneditedTextFileGivesBackTheSameTextFile()
        {
            HashSet<int> extended;
            File.WriteAllBytes(folder.File("A.upk"), VariedPackage(out extended));
            Extract("A");
            byte[] original = File.ReadAllBytes(folder.File("A.txt"));
            Assert.AreEqual(ToolRun.Banner + "Compiling subtitles\r\nFile A.clxi compiled successfully!\r\n..DONE..",
                ToolRun.Main(folder.File("A.txt")));
            Promote("A", "B");
            Extract("B");
            CollectionAssert.AreEqual(original, File.ReadAllBytes(folder.File("B.txt")));
        }

        [Test]
        public void EditedLinesComeBackFromTheCompiledPackage()
        {
            HashSet<int> extended;
            File.WriteAllBytes(folder.File("A.upk"), VariedPackage(out extended));
            List<string> lines = Extract("A");
            Assert.AreEqual(9, lines.Count);
            var edited = new List<string>();
            for (int i = 0; i < lines.Count; i++) edited.Add(extended.Contains(i) ? lines[i] : Edited(lines[i], i));
            StringAssert.EndsWith("File A.clxi compiled successfully!\r\n..DONE..", Import("A", edited));
            Promote("A", "B");
            CollectionAssert.AreEqual(edited, Extract("B"));
        }

        [Test]
        public void CompiledPackageCanBeCompiledAgain()
        {
            HashSet<int> extended;
            File.WriteAllBytes(folder.File("A.upk"), VariedPackage(out extended));
            List<string> lines = Extract("A");
            var current = lines;
            string name = "A";
            for (int generation = 1; generation <= 3; generation++)
            {
                var next = new List<string>();
                for (int i = 0; i < current.Count; i++)
                    next.Add(extended.Contains(i) ? current[i] : current[i] + " g" + generation);
                Import(name, next);
                string following = "G" + generation;
                Promote(name, following);
                name = following;
                current = Extract(name);
                CollectionAssert.AreEqual(next, current, "generation " + generation);
            }
        }

        [Test]
        public void DemoPackageRoundTrips()
        {
            File.WriteAllBytes(folder.File("Demo.upk"), DemoPackage.Build());
            List<string> lines = Extract("Demo");
            byte[] original = File.ReadAllBytes(folder.File("Demo.txt"));
            Import("Demo", lines);
            Promote("Demo", "Again");
            Extract("Again");
            CollectionAssert.AreEqual(original, File.ReadAllBytes(folder.File("Again.txt")));

            // The last line belongs to the extended sound: its edit is
            // reported and ignored, every other edit arrives.
            var edited = new List<string>();
            for (int i = 0; i < lines.Count; i++) edited.Add(Edited(lines[i], i));
            string console = Import("Demo", edited);
            StringAssert.Contains("Warning: line " + lines.Count + " of Demo.txt belongs to a text that cannot be compiled; the edit is ignored.\r\n", console);
            Promote("Demo", "Edited");
            List<string> back = Extract("Edited");
            edited[lines.Count - 1] = lines[lines.Count - 1];
            CollectionAssert.AreEqual(edited, back);
        }
    }
}
