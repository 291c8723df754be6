using System;
using System.Collections.Generic;
using System.IO;
using System.Text;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    /// <summary>
    /// Import's property walk on property data built tag by tag. Expected
    /// output is built with a second writer over the same name table, so
    /// every size in it is computed by the writer, not by the walk.
    /// </summary>
    [TestFixture]
    public class ImportWalkTests
    {
        private const uint Version = 0x0062035C;

        private sealed class ImportResult
        {
            public byte[] Output;
            public string Console;
            public long Position;
            public int LineCount;
        }

        private static ImportResult Import(PropertyWriter input, params string[] lines)
        {
            return Import(input.ToArray(), input.NameTable(), new List<string>(lines), 0);
        }

        /// <summary>Walks all of input into a writer whose position starts at outputBase; Output is what follows outputBase.</summary>
        private static ImportResult Import(byte[] input, Dictionary<long, string> names, List<string> lines, long outputBase)
        {
            var reader = new ByteReader(input);
            var writer = new ByteWriter();
            writer.Position = outputBase;
            var console = new StringWriter();
            int lineCount = 0;
            ConsoleOut.Redirect(console);
            try
            {
                Scrivel.importPackage(lines, writer, reader, ref lineCount, names, input.Length, Version);
            }
            finally
            {
                ConsoleOut.Redirect(null);
            }
            var all = writer.ToArray();
            var output = new byte[all.Length - outputBase];
            Array.Copy(all, outputBase, output, 0, output.Length);
            return new ImportResult { Output = output, Console = console.ToString(), Position = reader.Position, LineCount = lineCount };
        }

        private static string Extract(byte[] data, Dictionary<long, string> names, out string console, out long position)
        {
            var texts = new CollectedText();
            var reader = new ByteReader(data);
            var writer = new StringWriter();
            ConsoleOut.Redirect(writer);
            try
            {
                Scrivel.extractPackage(reader, names, texts, data.Length, Version);
            }
            finally
            {
                ConsoleOut.Redirect(null);
            }
            console = writer.ToString();
            position = reader.Position;
            return texts.ToString();
        }

        private static byte[] Filled(int count, byte value)
        {
            var bytes = new byte[count];
            for (int i = 0; i < count; i++) bytes[i] = value;
            return bytes;
        }

        private static byte[] Slice(byte[] bytes, int offset, int count)
        {
            var slice = new byte[count];
            Array.Copy(bytes, offset, slice, 0, count);
            return slice;
        }

        private static void AssertBytes(byte[] expected, byte[] actual)
        {
            Assert.AreEqual(BitConverter.ToString(expected), BitConverter.ToString(actual));
        }

        // ---- the type table, copied byte for byte -----------------------------

        [TestCase("BoolProperty", 9)]
        [TestCase("ObjectProperty", 12)]
        [TestCase("IntProperty", 12)]
        [TestCase("FloatProperty", 12)]
        [TestCase("ByteProperty", 16)]
        [TestCase("NameProperty", 16)]
        [TestCase("Subtitles", 20)]
        [TestCase("LocalizedSubtitles", 20)]
        [TestCase("SkeletalMeshFragmentName", 24)]
        public void FixedRowIsCopiedByteForByte(string type, int bytes)
        {
            // The filler is no name index: a copy of one byte too few or too
            // many would print errors and miss the text after it.
            var input = new PropertyWriter();
            input.Tag("Value", type).Bytes(Filled(bytes, 0xEE)).Str("Text", "old").None();
            var expected = input.Nested();
            expected.Tag("Value", type).Bytes(Filled(bytes, 0xEE)).StrUtf16("Text", "new").None();

            var r = Import(input, "new");
            AssertBytes(expected.ToArray(), r.Output);
            Assert.AreEqual("", r.Console);
            Assert.AreEqual(1, r.LineCount);
            Assert.AreEqual(input.Length, r.Position);
        }

        [Test]
        public void UnknownTypeGoesOnAtTheSizeField()
        {
            var input = new PropertyWriter();
            input.Tag("Odd", "MysteryProperty").Int32(input.NameIndex("None")).Int32(0).Str("Comment", "old");
            var expected = input.Nested();
            expected.Tag("Odd", "MysteryProperty").Int32(input.NameIndex("None")).Int32(0).StrUtf16("Comment", "new");
            var r = Import(input, "new");
            AssertBytes(expected.ToArray(), r.Output);
            Assert.AreEqual("", r.Console, "an unknown type is no error");
        }

        [TestCase(16L, "Vector4")]
        [TestCase(12L, "Vector")]
        [TestCase(4L, "Color")]
        [TestCase(-8L, "Odd")]
        public void FixedStructIsCopiedWhole(long size, string structName)
        {
            var input = new PropertyWriter();
            byte[] value = Filled(size == 16 ? 16 : 12, 0xEE);
            input.StructRaw("Location", size, structName, value).Str("Text", "old");
            var expected = input.Nested();
            expected.StructRaw("Location", size, structName, value).StrUtf16("Text", "new");
            var r = Import(input, "new");
            AssertBytes(expected.ToArray(), r.Output);
            Assert.AreEqual("", r.Console);
        }

        [Test]
        public void StructWithInnerTagsIsEnteredAndItsSizeRecomputed()
        {
            var input = new PropertyWriter();
            input.StructTags("Line", "SubtitleLine", s => s.Str("Text", "short").Float("Time", 1.5f).None())
                 .Str("Description", "after");
            var expected = input.Nested();
            expected.StructTags("Line", "SubtitleLine", s => s.StrUtf16("Text", "a much longer line").Float("Time", 1.5f).None())
                    .StrUtf16("Description", "D");

            var r = Import(input, "a much longer line", "D");
            AssertBytes(expected.ToArray(), r.Output);
            Assert.AreEqual(2, r.LineCount);
        }

        [Test]
        public void StructSizeWhoseEndFallsInsideATagStaysAsRead()
        {
            // The stated size ends 4 bytes into the "Text" tag, so the walk
            // never stands at that end: the size is copied as read.
            var inner = new PropertyWriter();
            var innerBytes = inner.Str("Caption", "plain").Str("Text", "old").None().ToArray();
            long statedSize = 34 + 4;
            var input = inner.Nested();
            input.StructRaw("Line", statedSize, "SubtitleLine", innerBytes);
            var expected = input.Nested();
            expected.StructRaw("Line", statedSize, "SubtitleLine",
                inner.Nested().Str("Caption", "plain").StrUtf16("Text", "new").None().ToArray());
            var r = Import(input, "new");
            AssertBytes(expected.ToArray(), r.Output);
        }

        [TestCase("Subtitles")]
        [TestCase("LocalizedSubtitles")]
        public void SubtitlesArrayMetThroughItsRowIsWalkedAndResized(string arrayName)
        {
            var input = new PropertyWriter();
            input.ByteEnum("Speaker", "ESpeaker", "ESpeaker_Guard")
                 .Array(arrayName, 2, e => e
                     .StrUtf16("Text", "line one").Float("Time", 1.5f).None()
                     .Str("Text", "line two").Float("Time", 3f).None())
                 .Str("Comment", "last").None();
            var expected = input.Nested();
            expected.ByteEnum("Speaker", "ESpeaker", "ESpeaker_Guard")
                    .Array(arrayName, 2, e => e
                        .StrUtf16("Text", "first, now longer").Float("Time", 1.5f).None()
                        .StrUtf16("Text", "2").Float("Time", 3f).None())
                    .StrUtf16("Comment", "end").None();
            var r = Import(input, "first, now longer", "2", "end");
            AssertBytes(expected.ToArray(), r.Output);
            Assert.AreEqual("", r.Console);
            Assert.AreEqual(input.Length, r.Position);
        }

        // ---- strings --------------------------------------------------

        [Test]
        public void ReplacedLineIsWrittenAsUtf16WithItsSize()
        {
            var writer = new ByteWriter();
            int lineCount = 1;
            Scrivel.importTextLine(new List<string> { "unused", "Hi" }, writer, ref lineCount);
            Assert.AreEqual(2, lineCount);
            AssertBytes(new byte[] { 10, 0, 0, 0, 0, 0, 0, 0, 0xFD, 0xFF, 0xFF, 0xFF, 0x48, 0, 0x69, 0, 0, 0 }, writer.ToArray());
        }

        [TestCase("", "")]
        [TestCase("A{\\n}B{\\n}C", "A\nB\nC")]
        [TestCase("a\\nb", "a\\nb")]
        [TestCase("{\\n", "{\\n")]
        [TestCase("tab\there, \u00E9\u4E2D \U0001F600", "tab\there, \u00E9\u4E2D \U0001F600")]
        public void LineEscapesAreUndoneAndNothingElseChanges(string line, string stored)
        {
            var writer = new ByteWriter();
            int lineCount = 0;
            Scrivel.importTextLine(new List<string> { line }, writer, ref lineCount);
            var expected = new PropertyWriter();
            expected.StrUtf16("Text", stored);
            // The tag's 16 bytes are not written by importTextLine.
            var tail = new byte[expected.Length - 16];
            Array.Copy(expected.ToArray(), 16, tail, 0, tail.Length);
            AssertBytes(tail, writer.ToArray());
        }

        [TestCase("Text", true, true)]
        [TestCase("Description", true, true)]
        [TestCase("SpokenText", true, false)]
        [TestCase("Comment", true, false)]
        [TestCase("Caption", false, false)]
        [TestCase("text", false, false)]
        public void TextPropertiesByNameAndForm(string name, bool eightBitIsText, bool utf16IsText)
        {
            var input = new PropertyWriter();
            input.Str(name, "narrow").StrUtf16(name, "wide").Str("Text", "last");
            var expected = input.Nested();
            var lines = new List<string>();
            // Every text takes its line as UTF-16, also one that was 8-bit;
            // a string that is no text keeps its form and bytes.
            if (eightBitIsText) { expected.StrUtf16(name, "N\u00E9"); lines.Add("N\u00E9"); }
            else expected.Str(name, "narrow");
            if (utf16IsText) { expected.StrUtf16(name, "W"); lines.Add("W"); }
            else expected.StrUtf16(name, "wide");
            expected.StrUtf16("Text", "L");
            lines.Add("L");

            var r = Import(input.ToArray(), input.NameTable(), lines, 0);
            AssertBytes(expected.ToArray(), r.Output);
            Assert.AreEqual(lines.Count, r.LineCount);
        }

        [TestCase("SpokenText")]
        [TestCase("Comment")]
        public void EightBitTextWithOtherLettersIsStoredAsTheirUtf16CodeUnits(string name)
        {
            const string line = "Za\u017C\u00F3\u0142\u0107 g\u0119\u015Bl\u0105 ja\u017A\u0144";
            var input = new PropertyWriter();
            input.Str(name, "Old text").None();
            var r = Import(input, line);

            // Tag (16 bytes), size, array index, length, then the code units and a zero unit.
            int[] units = { 0x5A, 0x61, 0x17C, 0xF3, 0x142, 0x107, 0x20, 0x67, 0x119, 0x15B, 0x6C, 0x105, 0x20, 0x6A, 0x61, 0x17A, 0x144, 0 };
            var value = new byte[2 * units.Length];
            for (int i = 0; i < units.Length; i++) { value[2 * i] = (byte)units[i]; value[2 * i + 1] = (byte)(units[i] >> 8); }
            Assert.AreEqual(value.Length + 4, BitConverter.ToInt32(r.Output, 16), "size");
            Assert.AreEqual(0, BitConverter.ToInt32(r.Output, 20), "array index");
            Assert.AreEqual(-18, BitConverter.ToInt32(r.Output, 24), "length");
            AssertBytes(value, Slice(r.Output, 28, value.Length));
            Assert.AreEqual(28 + value.Length + 8, r.Output.Length, "the closing None follows the value");
            Assert.AreEqual(1, r.LineCount);

            // The compiled string is UTF-16, which is no text under this name.
            string console;
            long position;
            Assert.AreEqual("", Extract(r.Output, input.NameTable(), out console, out position));
            Assert.AreEqual(r.Output.Length, position);
        }

        [Test]
        public void EveryStringLeavesWithItsRecomputedSizeAndIndexZero()
        {
            var eight = Encoding.UTF8.GetBytes("caption\0");
            var wide = Encoding.Unicode.GetBytes("spoken\0");
            var input = new PropertyWriter();
            input.StrFull("Caption", 999, 3, eight.Length, eight)
                 .StrFull("SpokenText", -5, 7, -(wide.Length / 2), wide)
                 .StrFull("Text", 1, 2, 0, new byte[0])
                 .StrFull("Text", 0, 9, 4, Encoding.UTF8.GetBytes("old\0"));
            var expected = input.Nested();
            expected.StrFull("Caption", eight.Length + 4, 0, eight.Length, eight)
                    .StrFull("SpokenText", wide.Length + 4, 0, -(wide.Length / 2), wide)
                    .StrFull("Text", 4, 0, 0, new byte[0])
                    .StrUtf16("Text", "new");
            var r = Import(input, "new");
            AssertBytes(expected.ToArray(), r.Output);
            Assert.AreEqual(1, r.LineCount, "an empty string takes no line");
        }

        [Test]
        public void RunningOutOfLinesIsReportedByItsOwnException()
        {
            var input = new PropertyWriter();
            input.Str("Text", "one").Str("Text", "two");
            Assert.Throws<TooFewLinesException>(() => Import(input, "only one"));
            Assert.DoesNotThrow(() => Import(input, "1", "2", "surplus"));
        }

        // ---- arrays ---------------------------------------------------

        [Test]
        public void ArrayOfAtMostTwentyFourBytesIsCopiedUnchanged()
        {
            var input = new PropertyWriter();
            input.ArrayRaw("Small", 24, Filled(24, 0xEE)).ArrayRaw("Empty", 0, new byte[0]).Str("Text", "old");
            var expected = input.Nested();
            expected.ArrayRaw("Small", 24, Filled(24, 0xEE)).ArrayRaw("Empty", 0, new byte[0]).StrUtf16("Text", "new");
            var r = Import(input, "new");
            AssertBytes(expected.ToArray(), r.Output);
            Assert.AreEqual("", r.Console);
        }

        [Test]
        public void NestedArraySizesAreRecomputedAtEveryDepth()
        {
            var input = new PropertyWriter();
            input.Array("Entries", 2, e =>
            {
                e.Str("Text", "first").Array("Lines", 1, l => l.StrUtf16("Text", "inner one").Int("Delay", 3).None()).None();
                e.Array("Lines", 2, l =>
                {
                    l.Array("Deep", 1, d => d.Str("Description", "deepest").None()).None();
                    l.StrUtf16("Description", "second element").None();
                }).None();
            }).Str("Text", "outside");

            string[] lines = { "1", "a line that is far longer than the one it replaces", "", "{\\n}x{\\n}", "o" };
            var expected = input.Nested();
            expected.Array("Entries", 2, e =>
            {
                e.StrUtf16("Text", lines[0]).Array("Lines", 1, l => l.StrUtf16("Text", lines[1]).Int("Delay", 3).None()).None();
                e.Array("Lines", 2, l =>
                {
                    l.Array("Deep", 1, d => d.StrUtf16("Description", lines[2]).None()).None();
                    l.StrUtf16("Description", "\nx\n").None();
                }).None();
            }).StrUtf16("Text", lines[4]);

            var r = Import(input, lines);
            AssertBytes(expected.ToArray(), r.Output);
            Assert.AreEqual(5, r.LineCount);
            Assert.AreEqual(input.Length, r.Position);
        }

        [Test]
        public void DeeplyNestedArraysDoNotExhaustTheStack()
        {
            const int depth = 100000;
            var names = new PropertyWriter();
            int arrayName = names.NameIndex("Lines");
            int arrayType = names.NameIndex("ArrayProperty");
            int none = names.NameIndex("None");
            var innermost = names.Nested().Str("Text", "deep").None().ToArray();
            const int tagBytes = 16 + 8 + 4;
            var data = new byte[depth * tagBytes + innermost.Length + depth * 8];
            int p = 0;
            for (int level = 0; level < depth; level++, p += tagBytes)
            {
                long size = (long)(depth - level) * (tagBytes + 8) + innermost.Length - 32;
                BitConverter.GetBytes(arrayName).CopyTo(data, p);
                BitConverter.GetBytes((long)arrayType).CopyTo(data, p + 8);
                BitConverter.GetBytes(size).CopyTo(data, p + 16);
                BitConverter.GetBytes(1).CopyTo(data, p + 24);
            }
            innermost.CopyTo(data, p);
            p += innermost.Length;
            for (int level = 0; level < depth; level++, p += 8)
                BitConverter.GetBytes(none).CopyTo(data, p);

            var r = Import(data, names.NameTable(), new List<string> { "deeper" }, 0);
            Assert.AreEqual(data.Length, r.Position);
            // "deep" (8-bit, 5 bytes) became "deeper" (UTF-16, 14 bytes): 9
            // more bytes, and every enclosing size grew by exactly that.
            Assert.AreEqual(data.Length + 9, r.Output.Length);
            for (int level = 0; level < depth; level += 9999)
            {
                long old = BitConverter.ToInt64(data, level * tagBytes + 16);
                Assert.AreEqual(old + 9, BitConverter.ToInt64(r.Output, level * tagBytes + 16), "level " + level);
            }
        }

        // ---- additional data ---------------------------------------------

        /// <summary>
        /// A sound's property list and its six records, as they stand when the
        /// data begins at baseOffset. Records with flags 0 among the last four
        /// keep an arbitrary offset, which must come out unchanged.
        /// </summary>
        private static void WriteSound(PropertyWriter w, long baseOffset, string spoken, bool utf16, byte[] inline, int[] lastFlags)
        {
            w.BaseOffset = baseOffset;
            if (utf16) w.StrUtf16("Text", spoken); else w.Str("Text", spoken);
            w.Int("Channels", 2).None();
            w.BulkRecord(0, 0, 11, w.OffsetAfterField());
            w.BulkRecord(0, inline.Length, 22, w.OffsetAfterField());
            w.Bytes(inline);
            foreach (int flags in lastFlags)
            {
                if (flags != 0) w.BulkRecord(flags, 5, 33, w.OffsetAfterField());
                else w.BulkRecord(0, 6, 44, 0x12345678);
            }
        }

        [Test]
        public void AdditionalDataOffsetsMoveToTheNewPlace()
        {
            var inline = PackageBuilder.Pattern(37, 3);
            int[] flags = { 0, 0x40, 0, 0x11 };
            var input = new PropertyWriter();
            WriteSound(input, 5000, "old words", false, inline, flags);
            var expected = input.Nested();
            WriteSound(expected, 123456, "new, longer words", true, inline, flags);

            var r = Import(input.ToArray(), input.NameTable(), new List<string> { "new, longer words" }, 123456);
            AssertBytes(expected.ToArray(), r.Output);
            Assert.AreEqual(input.Length, r.Position);
        }

        [Test]
        public void AdditionalDataWithAllLastFlagsZeroKeepsThoseRecords()
        {
            var inline = PackageBuilder.Pattern(5, 9);
            int[] flags = { 0, 0, 0, 0 };
            var input = new PropertyWriter();
            WriteSound(input, 64, "same", false, inline, flags);
            var r = Import(input.ToArray(), input.NameTable(), new List<string> { "same" }, 64);
            // The string grows from 8-bit to UTF-16 (5 bytes more); the last
            // 64 bytes, the four records, are identical.
            var inputBytes = input.ToArray();
            AssertBytes(Slice(inputBytes, inputBytes.Length - 64, 64), Slice(r.Output, r.Output.Length - 64, 64));
            Assert.AreEqual(inputBytes.Length + 5, r.Output.Length);
        }

        [TestCase(1, 8)]
        [TestCase(0, 0)]
        [TestCase(0, -4)]
        public void AdditionalDataOfAnotherFormIsAnError(int secondFlags, int secondCount)
        {
            var input = new PropertyWriter();
            input.Str("Text", "x").None()
                 .BulkRecord(0, 0, 0, 0).BulkRecord(secondFlags, secondCount, 0, 0).Zeros(80);
            Assert.Throws<AdditionalDataException>(() => Import(input, "y"));
        }

        // ---- error cases: the same bytes and messages as extraction ---------

        [Test]
        public void UnknownNameIndexStepsOnFourBytesLikeExtraction()
        {
            var input = new PropertyWriter();
            input.Str("Text", "before").Int32(70000).Int32(70001).Str("Text", "after").None();
            var r = Import(input, "B", "A");
            string console;
            long position;
            Extract(input.ToArray(), input.NameTable(), out console, out position);
            // "before" ends at 35; the two unknown indices stand at 35 and 39.
            Assert.AreEqual("Error: 31\r\nError: 35\r\n", r.Console);
            Assert.AreEqual(console, r.Console);
            Assert.AreEqual(2, r.LineCount, "the text after the unknown names still takes its line");

            var expected = input.Nested();
            expected.StrUtf16("Text", "B").Int32(70000).Int32(70001).StrUtf16("Text", "A").None();
            AssertBytes(expected.ToArray(), r.Output);
        }

        [Test]
        public void UnknownTypeReferenceEndsTheWalkLikeExtraction()
        {
            var input = new PropertyWriter();
            input.Str("Text", "taken").TagRaw(input.NameIndex("Broken"), 0, 1L << 32).Str("Text", "not reached");
            var r = Import(input, "T", "unused");
            Assert.AreEqual("Error: " + (8 + 8 + 8 + 4 + 6 + 8) + "\r\n", r.Console);
            Assert.AreEqual(1, r.LineCount);
            Assert.AreEqual(8 + 8 + 8 + 4 + 6 + 16, r.Position);
            string console;
            long position;
            Extract(input.ToArray(), input.NameTable(), out console, out position);
            Assert.AreEqual(console, r.Console);
            Assert.AreEqual(position, r.Position);
        }

        [Test]
        public void LaterElementStartResumesAfterAnUnknownTypeReference()
        {
            var input = new PropertyWriter();
            int broken = input.NameIndex("Broken");
            input.Array("Lines", 2, e =>
            {
                e.Str("Text", "one").TagRaw(broken, 0, 99999).None();
                e.Str("Text", "two").None();
            }).Str("Text", "three");
            var r = Import(input, "1", "2", "3");
            Assert.AreEqual(3, r.LineCount);
            string console;
            long position;
            string texts = Extract(input.ToArray(), input.NameTable(), out console, out position);
            Assert.AreEqual("one\r\ntwo\r\nthree\r\n", texts);
            Assert.AreEqual(console, r.Console);
            Assert.AreEqual(position, r.Position);
            Assert.AreEqual("1\r\n2\r\n3\r\n", Extract(r.Output, input.NameTable(), out console, out position));
        }

        [Test]
        public void DamagedDataRaisesInsteadOfReadingOutside()
        {
            var tooLong = new PropertyWriter();
            tooLong.StrRaw("Text", 100, new byte[] { 0x41, 0 });
            Assert.Throws<DamagedPackageException>(() => Import(tooLong, "x"));

            var negativeArray = new PropertyWriter();
            negativeArray.ArrayRaw("Lines", -40, new byte[64]);
            Assert.Throws<DamagedPackageException>(() => Import(negativeArray));

            var cutRecords = new PropertyWriter();
            cutRecords.BulkRecord(0, 0, 0, 0).BulkRecord(0, 100, 0, 0).Zeros(20);
            Assert.Throws<DamagedPackageException>(() => Import(cutRecords));
        }

        // ---- the walks agree on any data ---------------------------------

        [Test]
        public void ImportConsumesWhatExtractionConsumesAndItsOutputExtractsToTheLines()
        {
            var random = new Random(20150115);
            int compared = 0, omitted = 0;
            for (int round = 0; round < 300; round++)
            {
                var input = new PropertyWriter();
                RandomList(input, random, 0);
                byte[] data = input.ToArray();
                var names = input.NameTable();

                string extractConsole;
                long extractEnd;
                string extracted;
                try
                {
                    extracted = Extract(data, names, out extractConsole, out extractEnd);
                }
                catch (DamagedPackageException)
                {
                    // Past damage the walks need not agree on anything but
                    // that the data cannot be compiled.
                    var failure = Assert.Catch(() => Import(data, names, RandomLines(random, 1000), 0), "round " + round);
                    Assert.IsTrue(failure is DamagedPackageException || failure is AdditionalDataException, failure.ToString());
                    continue;
                }
                compared++;
                List<string> extractedLines = TextFile.SplitLines(extracted);
                int textCount = extractedLines.Count;
                var lines = RandomLines(random, textCount);
                var r = Import(data, names, lines, 0);
                Assert.AreEqual(extractEnd, r.Position, "round " + round + ": bytes consumed");
                Assert.AreEqual(extractConsole, r.Console, "round " + round + ": messages");
                Assert.AreEqual(textCount, r.LineCount, "round " + round + ": lines used");

                // The output gives back every line in order, except those of
                // 8-bit "SpokenText" and "Comment" texts (known by their mark),
                // which are UTF-16 now and so no longer texts.
                var expected = new StringBuilder();
                for (int i = 0; i < textCount; i++)
                {
                    if (!extractedLines[i].StartsWith(EightBitOnlyMark, StringComparison.Ordinal))
                        expected.Append(lines[i]).Append("\r\n");
                    else
                        omitted++;
                }
                string console;
                long end;
                var reExtracted = Extract(r.Output, names, out console, out end);
                Assert.AreEqual(expected.ToString(), reExtracted, "round " + round);
            }
            Assert.Greater(compared, 250, "most generated lists are whole");
            Assert.Greater(omitted, 50, "8-bit spoken texts and comments are among the texts");
        }

        private static readonly string[] StringNames = { "Text", "Description", "SpokenText", "Comment", "Caption" };

        /// <summary>Starts every 8-bit "SpokenText" and "Comment" value, and no other value.</summary>
        private const string EightBitOnlyMark = "~";

        private static void RandomList(PropertyWriter w, Random random, int depth)
        {
            int tags = random.Next(1, 6);
            for (int i = 0; i < tags; i++)
            {
                string name = StringNames[random.Next(StringNames.Length)];
                switch (random.Next(depth < 3 ? 13 : 10))
                {
                    case 0:
                        bool eightBitOnly = name == "SpokenText" || name == "Comment";
                        w.Str(name, (eightBitOnly ? EightBitOnlyMark : "") + RandomValue(random));
                        break;
                    case 1: w.StrUtf16(name, RandomValue(random)); break;
                    case 2: w.StrFull(name, random.Next(), random.Next(3), 0, new byte[0]); break;
                    case 3: w.Int("Count", random.Next()).Bool("On", true).NameProp("Group", "Voice"); break;
                    case 4:
                        if (random.Next(2) == 0) w.Struct16("Where", "Plane", Filled(16, 0xEE));
                        else w.StructSmall("Where", random.Next(-4, 13), "Vector", Filled(12, 0xEE));
                        break;
                    case 5: w.None(); break;
                    case 6: w.Int32(60000 + random.Next(100)); break; // a name index not in the table
                    case 7: w.ArrayRaw("Small", 8, Filled(8, 0xEE)); break;
                    case 8: w.Tag("Odd", "MysteryProperty"); break;
                    case 9:
                        if (random.Next(4) == 0) w.TagRaw(w.NameIndex("Broken"), 0, 77777);
                        else w.Float("Volume", 1f);
                        break;
                    case 10:
                    case 11:
                        int count = random.Next(0, 4);
                        w.Array("Lines", count, e =>
                        {
                            for (int k = 0; k < count; k++) { RandomList(e, random, depth + 1); e.None(); }
                        });
                        break;
                    default:
                        w.StructTags("Line", "SubtitleLine", s => { s.Str("Text", "in struct").Int("A", 1).Int("B", 2); RandomList(s, random, depth + 1); s.None(); });
                        break;
                }
            }
        }

        private static string RandomValue(Random random)
        {
            string[] parts = { "a", "Hello", "line\nbreak", "\u00E9t\u00E9", "\u4E2D\u6587", "", "{x}" };
            return parts[random.Next(parts.Length)] + parts[random.Next(parts.Length)];
        }

        private static List<string> RandomLines(Random random, int count)
        {
            string[] parts = { "", "Hi", "{\\n}", "\u00FC", "\U0001F600", "back\\n", "long line of dialogue " };
            var lines = new List<string>();
            for (int i = 0; i < count; i++)
                lines.Add(parts[random.Next(parts.Length)] + parts[random.Next(parts.Length)]);
            return lines;
        }
    }
}
