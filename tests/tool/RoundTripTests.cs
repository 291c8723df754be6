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
    public class RoundTripTests : FolderFixture
    {
        /// <summary>Extracts name.upk; returns its text file's lines (null when none was written).</summary>
        private List<string> Extract(string name)
        {
            ToolRun.Main(folder.File(name + ".upk"));
            string text = folder.File(name + ".txt");
            return File.Exists(text) ? TextFiles.Lines(File.ReadAllBytes(text)) : null;
        }

        /// <summary>Writes the lines as name.txt (UTF-16LE, CR LF), imports it; returns the console.</summary>
        private string Import(string name, IList<string> lines)
        {
            File.WriteAllBytes(folder.File(name + ".txt"), TextFiles.Of(new List<string>(lines).ToArray()));
            return ToolRun.Main(folder.File(name + ".txt"));
        }

        /// <summary>Takes name.upk.clxi as the package next.upk.</summary>
        private void Promote(string name, string next)
        {
            File.Copy(folder.File(name + ".upk.clxi"), folder.File(next + ".upk"), true);
        }

        /// <summary>
        /// A package of many shapes, with the index of every line that belongs
        /// to an extended sound and of every line of an 8-bit "SpokenText" or
        /// "Comment" in an export that import rewrites.
        /// </summary>
        private static byte[] VariedPackage(out HashSet<int> extendedLines, out HashSet<int> eightBitOnlyLines)
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
            eightBitOnlyLines = new HashSet<int> { 3, 6 };
            return b.Build();
        }

        private static string Edited(string line, int index)
        {
            return index % 3 == 0 ? "" : "\u00AB" + line + "\u00BB {\\n}#" + index;
        }

        /// <summary>The items whose index is not in left, in order.</summary>
        private static List<T> Without<T>(IList<T> items, ICollection<int> left)
        {
            var kept = new List<T>();
            for (int i = 0; i < items.Count; i++)
                if (!left.Contains(i)) kept.Add(items[i]);
            return kept;
        }

        // A compiled package stores every text it was given as UTF-16. An
        // 8-bit "SpokenText" or "Comment" is a text only in 8-bit form, so
        // extracting the compiled package gives every line but those, in
        // order, and that shorter file fits the compiled package line for line.

        [Test]
        public void UneditedTextFileComesBackWithoutTheLinesOfEightBitSpokenTextsAndComments()
        {
            HashSet<int> extended, eightBitOnly;
            File.WriteAllBytes(folder.File("A.upk"), VariedPackage(out extended, out eightBitOnly));
            List<string> original = Extract("A");
            Assert.AreEqual(9, original.Count);
            Assert.AreEqual("8-bit comment", original[3]);
            Assert.AreEqual("Spoken", original[6]);
            Assert.AreEqual(ToolRun.Banner + "Compiling subtitles\r\nFile A.clxi compiled successfully!\r\n..DONE..",
                ToolRun.Main(folder.File("A.txt")));
            Promote("A", "B");
            List<string> back = Extract("B");
            CollectionAssert.AreEqual(new[] { "In a struct", "nested one", "nested \u00FCber two", "extended one", "extended two",
                "cue one", "cue{\\n}two" }, back);
            CollectionAssert.AreEqual(Without(original, eightBitOnly), back);
        }

        [Test]
        public void EditedLinesComeBackFromTheCompiledPackage()
        {
            HashSet<int> extended, eightBitOnly;
            File.WriteAllBytes(folder.File("A.upk"), VariedPackage(out extended, out eightBitOnly));
            List<string> lines = Extract("A");
            Assert.AreEqual(9, lines.Count);
            var edited = new List<string>();
            for (int i = 0; i < lines.Count; i++) edited.Add(extended.Contains(i) ? lines[i] : Edited(lines[i], i));
            StringAssert.EndsWith("File A.clxi compiled successfully!\r\n..DONE..", Import("A", edited));
            Promote("A", "B");
            CollectionAssert.AreEqual(Without(edited, eightBitOnly), Extract("B"));
        }

        [Test]
        public void CompiledPackageCanBeCompiledAgain()
        {
            HashSet<int> extended, eightBitOnly;
            File.WriteAllBytes(folder.File("A.upk"), VariedPackage(out extended, out eightBitOnly));
            var current = Extract("A");
            // For each line of the current file, its index in the first file.
            var origin = new List<int>();
            for (int i = 0; i < current.Count; i++) origin.Add(i);
            string name = "A";
            for (int generation = 1; generation <= 3; generation++)
            {
                var next = new List<string>();
                for (int i = 0; i < current.Count; i++)
                    next.Add(extended.Contains(origin[i]) ? current[i] : current[i] + " g" + generation);
                StringAssert.EndsWith("compiled successfully!\r\n..DONE..", Import(name, next), "generation " + generation);
                string following = "G" + generation;
                Promote(name, following);
                name = following;
                current = Extract(name);
                // Only the first compilation drops lines; after it the file
                // and the compiled package agree line for line.
                if (generation == 1)
                {
                    next = Without(next, eightBitOnly);
                    origin = Without(origin, eightBitOnly);
                }
                CollectionAssert.AreEqual(next, current, "generation " + generation);
            }
        }

        [Test]
        public void DemoPackageRoundTrips()
        {
            File.WriteAllBytes(folder.File("Demo.upk"), DemoPackage.Build());
            List<string> lines = Extract("Demo");
            var gone = new HashSet<int>(DemoPackage.EightBitOnlyLines);
            StringAssert.EndsWith("compiled successfully!\r\n..DONE..", Import("Demo", lines));
            Promote("Demo", "Again");
            List<string> again = Extract("Again");
            CollectionAssert.AreEqual(Without(lines, gone), again);

            // The last line belongs to the extended sound: its edit is
            // reported and ignored, every other edit arrives.
            var edited = new List<string>();
            for (int i = 0; i < lines.Count; i++) edited.Add(Edited(lines[i], i));
            string console = Import("Demo", edited);
            StringAssert.Contains("Warning: line " + lines.Count + " of Demo.txt belongs to a text that cannot be compiled; the edit is ignored.\r\n", console);
            Promote("Demo", "Edited");
            edited[lines.Count - 1] = lines[lines.Count - 1];
            CollectionAssert.AreEqual(Without(edited, gone), Extract("Edited"));

            // The file extracted from the compiled demo compiles into it with
            // every edit in its place.
            var editedAgain = new List<string>();
            for (int i = 0; i < again.Count; i++) editedAgain.Add(Edited(again[i], i + 1));
            console = Import("Again", editedAgain);
            StringAssert.Contains("Warning: line " + again.Count + " of Again.txt belongs to a text that cannot be compiled", console);
            Promote("Again", "Third");
            editedAgain[again.Count - 1] = again[again.Count - 1];
            CollectionAssert.AreEqual(editedAgain, Extract("Third"));
        }

        /// <summary>
        /// Serial data that the walks would read more than once: text exports
        /// sharing one range, one overlapping the next by a byte, a string
        /// whose length runs on into the next text export's data. Both sides
        /// refuse such a package as damaged and write nothing. Exports of
        /// other classes may share their data.
        /// </summary>
        [TestCase("shared range", true)]
        [TestCase("overlap by one byte", true)]
        [TestCase("string into the next export", true)]
        [TestCase("other classes sharing", false)]
        public void SerialDataWalkedTwiceIsDamage(string shape, bool damaged)
        {
            var b = new PackageBuilder();
            var first = new PropertyWriter(b.Names);
            if (shape == "string into the next export")
                first.StrRaw("Text", 60, System.Text.Encoding.ASCII.GetBytes("one\0"));
            else
                first.Str("Text", "one");
            b.AddExport("SoundNodeWave", first.None().ToSerialData());
            b.AddExport("AttributePresentationDefinition", new PropertyWriter(b.Names).Str("Description", "two").None().ToSerialData());
            b.AddExport("Texture2D", new byte[40]);
            b.AddExport("Texture2D", new byte[40]);
            b.Build();
            if (shape == "shared range") b.Exports[1].SerialOffsetOverride = b.Exports[0].SerialOffset;
            if (shape == "overlap by one byte") b.Exports[1].SerialOffsetOverride = b.Exports[1].SerialOffset - 1;
            if (shape == "other classes sharing") b.Exports[3].SerialOffsetOverride = b.Exports[2].SerialOffset;
            File.WriteAllBytes(folder.File("P.upk"), b.Build());

            List<string> extracted = Extract("P");
            string compiled = Import("P", new[] { "1", "2" });
            if (damaged)
            {
                Assert.IsNull(extracted);
                StringAssert.Contains("The file P.upk is damaged!", compiled);
                Assert.AreEqual(new[] { "P.txt", "P.upk" }, folder.FileNames());
            }
            else
            {
                CollectionAssert.AreEqual(new[] { "one", "two" }, extracted);
                StringAssert.Contains("File P.clxi compiled successfully!", compiled);
                Promote("P", "Q");
                CollectionAssert.AreEqual(new[] { "1", "2" }, Extract("Q"));
            }
        }
    }
}
