using System;
using System.Collections.Generic;
using System.IO;
using System.Text;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    /// <summary>
    /// Import of whole packages: the compiled package's layout byte by byte,
    /// the console output, and what is (not) written for each failure.
    /// </summary>
    [TestFixture]
    public class ImportTests : FolderFixture
    {
        private const string Success = "Compiling subtitles\r\nFile P.clxi compiled successfully!\r\n";

        private static PropertyWriter Props(PackageBuilder b)
        {
            return new PropertyWriter(b.Names);
        }

        /// <summary>UTF-16LE with FF FE, CR LF after every line.</summary>
        private static byte[] TextFileBytes(params string[] lines)
        {
            var bytes = new List<byte> { 0xFF, 0xFE };
            foreach (string line in lines) bytes.AddRange(Encoding.Unicode.GetBytes(line + "\r\n"));
            return bytes.ToArray();
        }

        /// <summary>Compiles in memory; returns the compiled bytes (null when refused) and the console.</summary>
        private static byte[] Compile(byte[] package, out string console, params string[] lines)
        {
            var output = new MemoryStream();
            bool compiled = false;
            console = ToolRun.Capture(new PlainTerminal(), () =>
            {
                Scrivel.compilePackage(package, new List<string>(lines), "P.txt", output, out int used);
                compiled = true;
            });
            return compiled ? output.ToArray() : null;
        }

        /// <summary>Writes P.upk and P.txt, runs importAll on P.txt; returns the console.</summary>
        private string ImportFiles(byte[] package, byte[] textFile)
        {
            if (package != null) File.WriteAllBytes(folder.File("P.upk"), package);
            File.WriteAllBytes(folder.File("P.txt"), textFile);
            return ToolRun.Capture(new PlainTerminal(), () => Scrivel.importAll(FileDescription.Describe(folder.File("P.txt"))));
        }

        private static byte[] Slice(byte[] bytes, long offset, long count)
        {
            var slice = new byte[count];
            Array.Copy(bytes, offset, slice, 0, count);
            return slice;
        }

        private static void AssertBytes(byte[] expected, byte[] actual, string what)
        {
            Assert.AreEqual(BitConverter.ToString(expected), BitConverter.ToString(actual), what);
        }

        private static int Int32At(byte[] bytes, long offset)
        {
            return BitConverter.ToInt32(bytes, (int)offset);
        }

        /// <summary>The input with the serial size and offset of every entry replaced by what the output holds there.</summary>
        private static void AssertHeaderKept(PackageBuilder b, byte[] input, byte[] output)
        {
            var expected = Slice(input, 0, b.Exports[0].SerialOffset);
            foreach (BuiltExport e in b.Exports)
                Array.Copy(output, e.SerialSizeFieldOffset, expected, e.SerialSizeFieldOffset, 8);
            AssertBytes(expected, Slice(output, 0, expected.Length), "header and tables");
        }

        // ---- layout of the compiled package ----------------------------------

        [Test]
        public void RewrittenExportsAreAppendedInTableOrderWhateverTheirOldOrder()
        {
            var b = new PackageBuilder();
            b.GapAfterSummary = PackageBuilder.Pattern(16, 1);
            b.GapAfterExportTable = PackageBuilder.Pattern(9, 2);
            b.AddExport("SoundNodeWave", Props(b).Str("SpokenText", "first").None().ToSerialData(11));
            b.AddExport("AttributePresentationDefinition", Props(b).StrUtf16("Description", "second").None().ToSerialData(22));
            b.SerialOrder = new[] { 1, 0 };
            byte[] input = b.Build();
            Assume.That(b.Exports[1].SerialOffset < b.Exports[0].SerialOffset);

            string console;
            byte[] output = Compile(input, out console, "ONE", "TWO");
            Assert.AreEqual("Compiling subtitles\r\n", console);
            AssertHeaderKept(b, input, output);

            // Old data stays where it was; the new data follows the old end.
            AssertBytes(Slice(input, b.Exports[1].SerialOffset, input.Length - b.Exports[1].SerialOffset),
                        Slice(output, b.Exports[1].SerialOffset, input.Length - b.Exports[1].SerialOffset), "old data");
            var first = Props(b).StrUtf16("SpokenText", "ONE").None().ToSerialData(11);
            var second = Props(b).StrUtf16("Description", "TWO").None().ToSerialData(22);
            AssertBytes(first, Slice(output, input.Length, first.Length), "first export's new data");
            AssertBytes(second, Slice(output, input.Length + first.Length, second.Length), "second export's new data");
            Assert.AreEqual(input.Length + first.Length + second.Length, output.Length);

            Assert.AreEqual(first.Length, Int32At(output, b.Exports[0].SerialSizeFieldOffset));
            Assert.AreEqual(input.Length, Int32At(output, b.Exports[0].SerialSizeFieldOffset + 4));
            Assert.AreEqual(second.Length, Int32At(output, b.Exports[1].SerialSizeFieldOffset));
            Assert.AreEqual(input.Length + first.Length, Int32At(output, b.Exports[1].SerialSizeFieldOffset + 4));
        }

        [Test]
        public void BytesOutsideEveryExportAfterTheFirstOneBecomeZeros()
        {
            var b = new PackageBuilder();
            b.AddExport("SoundNodeWave", Props(b).Str("Text", "spoken").None().ToSerialData());
            var other = b.AddExport("SoundCue", PackageBuilder.Pattern(40, 5));
            other.GapBefore = PackageBuilder.Pattern(7, 6);
            b.Trailer = PackageBuilder.Pattern(5, 7);
            byte[] input = b.Build();

            string console;
            byte[] output = Compile(input, out console, "said");
            AssertHeaderKept(b, input, output);
            int gapStart = b.Exports[0].SerialOffset + b.Exports[0].SerialData.Length;
            AssertBytes(new byte[7], Slice(output, gapStart, 7), "gap before the second export");
            AssertBytes(other.SerialData, Slice(output, other.SerialOffset, 40), "the other export, unchanged");
            AssertBytes(new byte[5], Slice(output, input.Length - 5, 5), "trailer");
            Assert.AreEqual(other.SerialData.Length, Int32At(output, other.SerialSizeFieldOffset));
            Assert.AreEqual(other.SerialOffset, Int32At(output, other.SerialSizeFieldOffset + 4));
        }

        [Test]
        public void PackageWithoutRewrittenExportEndsAtItsFurthestExportData()
        {
            var b = new PackageBuilder();
            b.AddExport("SoundCue", PackageBuilder.Pattern(30, 1));
            b.AddExport("Texture2D", PackageBuilder.Pattern(20, 2));
            b.SerialOrder = new[] { 1, 0 };
            b.Trailer = PackageBuilder.Pattern(12, 3);
            byte[] input = b.Build();

            string console;
            byte[] output = Compile(input, out console);
            Assert.AreEqual("Compiling subtitles\r\n", console);
            // The input without its trailer: entries hold their old values.
            AssertBytes(Slice(input, 0, input.Length - 12), output, "whole package");
        }

        [Test]
        public void BulkDataOffsetsPointIntoTheCompiledPackage()
        {
            var b = new PackageBuilder();
            var inline = PackageBuilder.Pattern(33, 4);
            b.AddExport("SoundNodeWave", Props(b).Str("Text", "spoken").None()
                .AdditionalData(inline, new[] { 0x20, 0, 0x1, 0 }).ToSerialData());
            byte[] input = b.Build();

            string console;
            byte[] output = Compile(input, out console, "a longer spoken line");
            int at = Int32At(output, b.Exports[0].SerialSizeFieldOffset + 4);
            Assert.AreEqual(input.Length, at);
            // The records follow the text and "None": walk them by their layout.
            var texts = Props(b).StrUtf16("Text", "a longer spoken line").None().ToSerialData();
            long record = at + texts.Length;
            Assert.AreEqual(record + 16, Int32At(output, record + 12), "first record");
            record += 16;
            Assert.AreEqual(33, Int32At(output, record + 4));
            Assert.AreEqual(record + 16, Int32At(output, record + 12), "second record");
            AssertBytes(inline, Slice(output, record + 16, 33), "inline data");
            record += 16 + 33;
            int[] flags = { 0x20, 0, 0x1, 0 };
            for (int i = 0; i < 4; i++, record += 16)
                Assert.AreEqual(flags[i] != 0 ? record + 16 : 0, Int32At(output, record + 12), "record " + (i + 3));
            Assert.AreEqual(output.Length, record);
        }

        // ---- walk errors: nothing of the package is dropped ---------------------

        [Test]
        public void RestOfAnExportAfterAnUnknownTypeReferenceIsCarriedOver()
        {
            var b = new PackageBuilder();
            var props = Props(b);
            props.Str("Text", "replaced").TagRaw(props.NameIndex("Broken"), 0, 1L << 40);
            int stopAt = (int)props.Length;
            props.Str("Text", "kept as it is").None().Bytes(PackageBuilder.Pattern(9, 1));
            byte[] data = props.ToSerialData();
            b.AddExport("SoundNodeWave", data);
            b.AddExport("AttributePresentationDefinition", Props(b).Str("Text", "next").None().ToSerialData());
            byte[] input = b.Build();

            string console;
            byte[] output = Compile(input, out console, "R", "N");
            int typeReferenceAt = b.Exports[0].SerialOffset + 4 + stopAt - 8;
            // The walk's message stands where the cursor is, as in extraction.
            Assert.AreEqual("Compiling subtitlesError: " + typeReferenceAt + "\r\n\r\n", console);

            var expectedFirst = new List<byte>(Props(b).StrUtf16("Text", "R").TagRaw(props.NameIndex("Broken"), 0, 1L << 40).ToSerialData());
            expectedFirst.AddRange(Slice(data, 4 + stopAt, data.Length - 4 - stopAt));
            AssertBytes(expectedFirst.ToArray(), Slice(output, input.Length, expectedFirst.Count), "first export");
            Assert.AreEqual(expectedFirst.Count, Int32At(output, b.Exports[0].SerialSizeFieldOffset));
            var second = Props(b).StrUtf16("Text", "N").None().ToSerialData();
            AssertBytes(second, Slice(output, input.Length + expectedFirst.Count, second.Length), "the next export takes the next line");
        }

        /// <summary>
        /// An output that would pass the limit (2 GB; here set low) is refused
        /// before a byte of it is written, the walk's messages that come
        /// before the refusal printed once; one that reaches the limit exactly
        /// is written as it would be without it.
        /// </summary>
        [Test]
        public void AnOutputPastTheLimitIsRefusedBeforeAnythingIsWritten()
        {
            var b = new PackageBuilder();
            var props = Props(b);
            props.Str("Text", "first").TagRaw(props.NameIndex("Broken"), 0, 1L << 40).None();
            b.AddExport("SoundNodeWave", props.ToSerialData());
            b.AddExport("SoundNodeWaveEx", Props(b).Str("SpokenText", "kept").None().ToSerialData());
            b.AddExport("AttributePresentationDefinition", Props(b).Str("Text", "last").None().ToSerialData());
            byte[] input = b.Build();
            string[] lines = { "first", "kept", new string('x', 400) + "{\\n}" };
            string console;
            byte[] whole = Compile(input, out console, lines);
            StringAssert.Contains("Error: ", console);

            // Met in the last export, after the walk's message; met before it.
            foreach (long limit in new[] { whole.Length, whole.Length - 1, input.Length + 10 })
            {
                var output = new MemoryStream();
                Exception refusal = null;
                string seen = ToolRun.Capture(new PlainTerminal(), () =>
                {
                    try
                    {
                        Scrivel.compilePackage(input, new List<string>(lines), "P.txt", output, out int used, limit);
                    }
                    catch (Exception e)
                    {
                        refusal = e;
                    }
                });
                if (limit == whole.Length)
                {
                    Assert.IsNull(refusal);
                    AssertBytes(whole, output.ToArray(), "the output at the limit");
                    continue;
                }
                Assert.IsInstanceOf<OutputTooLargeException>(refusal, "limit " + limit);
                Assert.AreEqual(0, output.Length, "nothing written, limit " + limit);
                string before = limit > input.Length + 10 ? console.Substring(console.IndexOf("Error: ")) : "\r\n";
                Assert.AreEqual(before, seen + "\r\n", "limit " + limit);
            }
        }

        // ---- the extended sound class --------------------------------------

        private static PackageBuilder WithExtendedSound()
        {
            var b = new PackageBuilder();
            b.AddExport("SoundNodeWave", Props(b).Str("Text", "a").None().ToSerialData());
            b.AddExport("SoundNodeWaveEx", Props(b).Str("SpokenText", "b").StrUtf16("Text", "c\nd").None().ToSerialData());
            b.AddExport("AttributePresentationDefinition", Props(b).Str("Description", "e").None().ToSerialData());
            return b;
        }

        [Test]
        public void ExtendedSoundStaysUnchangedAndItsLinesAreUsedUp()
        {
            var b = WithExtendedSound();
            byte[] input = b.Build();
            string console;
            byte[] output = Compile(input, out console, "A", "b", "c{\\n}d", "E");
            Assert.AreEqual("Compiling subtitles\r\n", console, "unedited lines give no warning");

            var ex = b.Exports[1];
            Assert.AreEqual(ex.SerialData.Length, Int32At(output, ex.SerialSizeFieldOffset));
            Assert.AreEqual(ex.SerialOffset, Int32At(output, ex.SerialSizeFieldOffset + 4));
            AssertBytes(ex.SerialData, Slice(output, ex.SerialOffset, ex.SerialData.Length), "extended sound");
            var first = Props(b).StrUtf16("Text", "A").None().ToSerialData();
            var third = Props(b).StrUtf16("Description", "E").None().ToSerialData();
            AssertBytes(third, Slice(output, input.Length + first.Length, third.Length), "the line after the extended sound's");
        }

        [Test]
        public void EditOfAnExtendedSoundLineIsReportedAndIgnored()
        {
            var b = WithExtendedSound();
            byte[] input = b.Build();
            string console;
            byte[] output = Compile(input, out console, "A", "b", "changed", "E");
            Assert.AreEqual("Compiling subtitles\r\nWarning: line 3 of P.txt belongs to a text that cannot be compiled; the edit is ignored.\r\n",
                console);
            var ex = b.Exports[1];
            AssertBytes(ex.SerialData, Slice(output, ex.SerialOffset, ex.SerialData.Length), "extended sound");
        }

        // ---- failures: one line, nothing written -------------------------------

        private PackageBuilder TwoTexts()
        {
            var b = new PackageBuilder();
            b.AddExport("SoundNodeWave", Props(b).Str("Text", "one").Str("Comment", "two").None().ToSerialData());
            return b;
        }

        [Test]
        public void SuccessWritesTheCompiledPackageBesideIt()
        {
            byte[] package = TwoTexts().Build();
            string console = ImportFiles(package, TextFileBytes("1", "2"));
            Assert.AreEqual(Success, console);
            string c2;
            byte[] expected = Compile(package, out c2, "1", "2");
            AssertBytes(expected, File.ReadAllBytes(folder.File("P.upk.clxi")), "compiled package");
            AssertBytes(package, File.ReadAllBytes(folder.File("P.upk")), "the package itself is untouched");
        }

        [Test]
        public void FewerLinesThanTextsWritesNothing()
        {
            string console = ImportFiles(TwoTexts().Build(), TextFileBytes("only one"));
            Assert.AreEqual("Compiling subtitles\r\nThe file P.txt has fewer lines than the package has texts!\r\n", console);
            Assert.AreEqual(new[] { "P.txt", "P.upk" }, folder.FileNames(), "no temporary file is left");
        }

        [Test]
        public void ATextFileSavedInTheWrongFormIsSaidToBeSo()
        {
            // UTF-8 without a mark, as many editors save: its few UTF-16 "lines"
            // are not the cause to name. A UTF-16 file that is short stays short.
            var utf8 = System.Text.Encoding.UTF8;
            var cases = new[]
            {
                new { Bytes = utf8.GetBytes("1\r\n2\r\n"), Line = "The file P.txt is not saved as UTF-16: save it as Unicode (UTF-16 LE) and compile it again!" },
                new { Bytes = utf8.GetBytes("\u017C\u00F3\u0142w\n"), Line = "The file P.txt is not saved as UTF-16: save it as Unicode (UTF-16 LE) and compile it again!" },
                new { Bytes = TextFileBytes("only one"), Line = "The file P.txt has fewer lines than the package has texts!" },
                new { Bytes = new byte[] { 0xC3, 0x28, 0x0A, 0x00 }, Line = "The file P.txt has fewer lines than the package has texts!" },
            };
            foreach (var c in cases)
            {
                string console = ImportFiles(TwoTexts().Build(), c.Bytes);
                Assert.AreEqual("Compiling subtitles\r\n" + c.Line + "\r\n", console);
                Assert.AreEqual(new[] { "P.txt", "P.upk" }, folder.FileNames());
            }
        }

        [Test]
        public void ThePackageIsFoundInAnyCase()
        {
            // packages beside GAME.txt | the compiled package, or the one line
            var cases = new[]
            {
                new { Packages = new[] { "GAME.UPK" }, Expected = "GAME.UPK.clxi" },
                new { Packages = new[] { "GAME.upk", "GAME.UPK" }, Expected = "GAME.upk.clxi" },
                new { Packages = new[] { "game.Upk", "GAME.UPK" }, Expected = "There are several packages named GAME.upk, in different upper and lower case: keep only one!" },
                new { Packages = new[] { "GAME.UPK.bak" }, Expected = "File GAME.upk was not found!" },
            };
            foreach (var c in cases)
            {
                foreach (string name in folder.FileNames()) File.Delete(folder.File(name));
                foreach (string name in c.Packages) File.WriteAllBytes(folder.File(name), TwoTexts().Build());
                File.WriteAllBytes(folder.File("GAME.txt"), TextFileBytes("1", "2"));
                string console = ToolRun.Capture(new PlainTerminal(), () => Scrivel.importAll(FileDescription.Describe(folder.File("GAME.txt"))));
                if (c.Expected.EndsWith(".clxi"))
                {
                    StringAssert.EndsWith("File GAME.clxi compiled successfully!\r\n", console);
                    Assert.IsTrue(File.Exists(folder.File(c.Expected)), c.Expected);
                    Assert.AreEqual(c.Packages.Length + 2, folder.FileNames().Length);
                }
                else
                {
                    StringAssert.EndsWith(c.Expected + "\r\n", console);
                    Assert.AreEqual(c.Packages.Length + 1, folder.FileNames().Length);
                }
            }
        }

        [Test]
        public void AnOutputNameLongerThanFileSystemsTakeIsSaidToBeSo()
        {
            string stem = new string('x', 247);
            File.WriteAllBytes(folder.File(stem + ".upk"), TwoTexts().Build());
            File.WriteAllBytes(folder.File(stem + ".txt"), TextFileBytes("1", "2"));
            string console = ToolRun.Capture(new PlainTerminal(), () => Scrivel.importAll(FileDescription.Describe(folder.File(stem + ".txt"))));
            Assert.AreEqual("The file " + stem + ".upk.clxi cannot be written: its name is longer than the file system allows!\r\n", console);
            Assert.AreEqual(2, folder.FileNames().Length);
        }

        [Test]
        public void FailureAfterTheBarStartsItsOwnLineInTheUsersColours()
        {
            File.WriteAllBytes(folder.File("P.upk"), TwoTexts().Build());
            File.WriteAllBytes(folder.File("P.txt"), TextFileBytes("only one"));
            var terminal = new RecordingTerminal();
            string console = ToolRun.Capture(terminal, () => Scrivel.importAll(FileDescription.Describe(folder.File("P.txt"))));
            Assert.AreEqual(new List<int> { 100 }, terminal.PercentagesDrawn());
            Assert.AreEqual("reset", terminal.Calls[terminal.Calls.Count - 1]);
            Assert.AreEqual("Compiling subtitles\r\nThe file P.txt has fewer lines than the package has texts!\r\n", console);
        }

        [Test]
        public void LinesOfTheExtendedSoundCountTowardsTheTexts()
        {
            // Four texts, of which the extended sound holds two: three lines
            // run out in the last export.
            string console = ImportFiles(WithExtendedSound().Build(), TextFileBytes("A", "b", "c{\\n}d"));
            StringAssert.EndsWith("The file P.txt has fewer lines than the package has texts!\r\n", console);
            Assert.IsFalse(File.Exists(folder.File("P.upk.clxi")));
        }

        /// <summary>
        /// Lines beyond the package's texts are not used; when any of them is
        /// not empty (a line inserted by mistake shifts every later text), a
        /// warning before the success line counts them. Empty ones, as an
        /// editor may add at the end, pass silently.
        /// </summary>
        [TestCase(new[] { "1", "2" }, 0)]
        [TestCase(new[] { "1", "2", "", "" }, 0)]
        [TestCase(new[] { "1", "2", "3", "" }, 2)]
        [TestCase(new[] { "1", "2", "", "", "x" }, 3)]
        public void SurplusLinesAreNotUsedAndNamedWhenNotEmpty(string[] lines, int warned)
        {
            byte[] package = TwoTexts().Build();
            string console = ImportFiles(package, TextFileBytes(lines));
            string warning = warned == 0 ? ""
                : "Warning: P.txt has " + warned + " more lines than the package has texts; they were not used.\r\n";
            Assert.AreEqual(Success.Replace("File P.clxi", warning + "File P.clxi"), console);
            string c2;
            AssertBytes(Compile(package, out c2, "1", "2"), File.ReadAllBytes(folder.File("P.upk.clxi")), "compiled package");
        }

        [Test]
        public void AdditionalDataErrorLeavesNothingWritten()
        {
            var b = new PackageBuilder();
            b.AddExport("SoundNodeWave", Props(b).Str("Text", "x").None().AdditionalData(new byte[0]).ToSerialData());
            File.WriteAllBytes(folder.File("P.upk.clxi"), new byte[] { 1, 2, 3 });
            Assert.Throws<AdditionalDataException>(() => ImportFiles(b.Build(), TextFileBytes("y")));
            AssertBytes(new byte[] { 1, 2, 3 }, File.ReadAllBytes(folder.File("P.upk.clxi")), "earlier output");
            Assert.AreEqual(new[] { "P.txt", "P.upk", "P.upk.clxi" }, folder.FileNames());
        }

        [Test]
        public void MissingPackageIsNamed()
        {
            string console = ImportFiles(null, TextFileBytes("x"));
            Assert.AreEqual("File P.upk was not found!\r\n", console);
        }

        [Test]
        public void OtherVersionIsRefused()
        {
            var b = TwoTexts();
            b.Version = 0x0062035D;
            string console = ImportFiles(b.Build(), TextFileBytes("1", "2"));
            Assert.AreEqual("Unsupported Game!\r\n", console);
            Assert.IsFalse(File.Exists(folder.File("P.upk.clxi")));
        }

        [Test]
        public void DamagedPackagesAreReportedByName()
        {
            var outside = TwoTexts();
            outside.Exports[0].SerialSizeOverride = 100000;
            var negative = TwoTexts();
            negative.Exports[0].SerialOffsetOverride = -8;
            var cut = TwoTexts();
            cut.Build();
            cut.TruncateAt = cut.Exports[0].SerialOffset + 20;
            var misplaced = TwoTexts();
            misplaced.AddExport("SoundCue", new byte[8]).SerialOffsetOverride = 2000000;
            var huge = TwoTexts();
            huge.Exports[0].SerialSizeOverride = int.MaxValue;
            foreach (var b in new[] { outside, negative, cut, misplaced, huge })
            {
                byte[] package = b.Build();
                long before = GC.GetAllocatedBytesForCurrentThread();
                string console = ImportFiles(package, TextFileBytes("1", "2"));
                long allocated = GC.GetAllocatedBytesForCurrentThread() - before;
                StringAssert.EndsWith("The file P.upk is damaged!\r\n", console);
                Assert.AreEqual(new[] { "P.txt", "P.upk" }, folder.FileNames(), "no output, no temporary file");
                Assert.Less(allocated, 8L << 20, "a stated size is no reason to allocate");
            }
        }

        /// <summary>
        /// A text file of a million one-character lines (UTF-8) for a package
        /// of two texts: lines are split only as far as the package takes
        /// them, so the compile allocates a few times the file, not some
        /// thirty bytes for every line.
        /// </summary>
        [Test]
        public void ManyShortLinesCostTheirTextNotAnObjectEach()
        {
            var text = new MemoryStream();
            text.Write(new byte[] { 0xEF, 0xBB, 0xBF }, 0, 3);
            for (int i = 0; i < 1000000; i++) { text.WriteByte((byte)'a'); text.WriteByte((byte)'\n'); }
            byte[] package = TwoTexts().Build();
            long before = GC.GetAllocatedBytesForCurrentThread();
            string console = ImportFiles(package, text.ToArray());
            long allocated = GC.GetAllocatedBytesForCurrentThread() - before;
            StringAssert.EndsWith("P.txt has 999998 more lines than the package has texts; they were not used.\r\n"
                + "File P.clxi compiled successfully!\r\n", console);
            Assert.Less(allocated, 6 * (text.Length + package.Length), "allocated for " + text.Length + " bytes of lines");
        }

        [Test]
        public void WriteFailureIsReportedWithTheOutputName()
        {
            Directory.CreateDirectory(folder.File("P.upk.clxi"));
            string console = ImportFiles(TwoTexts().Build(), TextFileBytes("1", "2"));
            Assert.AreEqual("Compiling subtitles\r\nThe file P.upk.clxi could not be written!\r\n", console);
            Assert.AreEqual(new[] { "P.txt", "P.upk", "P.upk.clxi" }, folder.FileNames(), "no temporary file is left");
        }

        [Test]
        public void EarlierOutputIsReplaced()
        {
            File.WriteAllBytes(folder.File("P.upk.clxi"), new byte[5000]);
            byte[] package = TwoTexts().Build();
            Assert.AreEqual(Success, ImportFiles(package, TextFileBytes("1", "2")));
            string c2;
            AssertBytes(Compile(package, out c2, "1", "2"), File.ReadAllBytes(folder.File("P.upk.clxi")), "compiled package");
        }

        // ---- names and encodings ----------------------------------------

        [Test]
        public void PackageAndOutputNamesComeFromTheTextFileName()
        {
            File.WriteAllBytes(folder.File("subs.upk.upk"), TwoTexts().Build());
            File.WriteAllBytes(folder.File("subs.upk.TXT"), TextFileBytes("1", "2"));
            string console = ToolRun.Capture(new PlainTerminal(),
                () => Scrivel.importAll(FileDescription.Describe(folder.File("subs.upk.TXT"))));
            Assert.AreEqual("Compiling subtitles\r\nFile subs.upk.clxi compiled successfully!\r\n", console);
            Assert.IsTrue(File.Exists(folder.File("subs.upk.upk.clxi")));
        }

        [Test]
        public void TextFilesInUtf8AndUtf16BigEndianCompileAlike()
        {
            byte[] package = TwoTexts().Build();
            string[] lines = { "Gr\u00FC\u00DFe {\\n}\u4E16\u754C", "\U0001F600" };
            ImportFiles(package, TextFileBytes(lines));
            byte[] reference = File.ReadAllBytes(folder.File("P.upk.clxi"));

            var utf8 = new List<byte> { 0xEF, 0xBB, 0xBF };
            utf8.AddRange(Encoding.UTF8.GetBytes(lines[0] + "\r\n" + lines[1]));
            Assert.AreEqual(Success, ImportFiles(package, utf8.ToArray()));
            AssertBytes(reference, File.ReadAllBytes(folder.File("P.upk.clxi")), "UTF-8 with BOM");

            var utf16be = new List<byte> { 0xFE, 0xFF };
            utf16be.AddRange(Encoding.BigEndianUnicode.GetBytes(lines[0] + "\n" + lines[1] + "\r"));
            Assert.AreEqual(Success, ImportFiles(package, utf16be.ToArray()));
            AssertBytes(reference, File.ReadAllBytes(folder.File("P.upk.clxi")), "UTF-16BE");

            string c2;
            AssertBytes(Compile(package, out c2, "Gr\u00FC\u00DFe {\\n}\u4E16\u754C", "\U0001F600"), reference, "the lines as read");
        }
    }
}
