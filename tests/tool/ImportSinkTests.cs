using System;
using System.Collections.Generic;
using System.IO;
using System.Text;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    /// <summary>
    /// What import makes of the walked bytes (the walk itself is the subject
    /// of <see cref="PropertyWalkerTests"/>). Expected output is built with a
    /// second writer over the same name table, so every size in it is
    /// computed by the writer, not by the sink.
    /// </summary>
    [TestFixture]
    public class ImportSinkTests
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
            var writer = new ByteWriter(16);
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

        /// <summary>Writes the same list into input and expected: every row of the type table, unknown names and types, fixed structs, small arrays.</summary>
        private static void EverythingButStrings(PropertyWriter w)
        {
            foreach (string type in new[] { "BoolProperty", "IntProperty", "ByteProperty", "Subtitles", "SkeletalMeshFragmentName" })
                w.Tag("Value", type).Bytes(Filled(type == "BoolProperty" ? 9 : type == "IntProperty" ? 12 : type == "ByteProperty" ? 16 : type == "Subtitles" ? 20 : 24, 0xEE));
            w.Tag("Odd", "MysteryProperty").Int32(w.NameIndex("None")).Int32(0);
            w.Int32(70000).Int32(70001);
            w.StructRaw("Location", 16, "Vector4", Filled(16, 0xEE)).StructRaw("Location", 12, "Vector", Filled(12, 0xEE))
             .StructRaw("Location", -8, "Odd", Filled(12, 0xEE));
            w.ArrayRaw("Small", 24, Filled(24, 0xEE)).ArrayRaw("Empty", 0, new byte[0]);
        }

        [Test]
        public void EverythingButStringsAndSizesIsCopiedByteForByte()
        {
            var input = new PropertyWriter();
            EverythingButStrings(input);
            input.Str("Text", "old").None();
            var expected = input.Nested();
            EverythingButStrings(expected);
            expected.StrUtf16("Text", "new").None();
            var r = Import(input, "new");
            AssertBytes(expected.ToArray(), r.Output);
            Assert.AreEqual(1, r.LineCount);
        }

        // ---- strings --------------------------------------------------

        [Test]
        public void ReplacedLineIsWrittenAsUtf16WithItsSize()
        {
            var writer = new ByteWriter(16);
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
            var writer = new ByteWriter(16);
            int lineCount = 0;
            Scrivel.importTextLine(new List<string> { line }, writer, ref lineCount);
            var expected = new PropertyWriter();
            expected.StrUtf16("Text", stored);
            // The tag's 16 bytes are not written by importTextLine.
            AssertBytes(Slice(expected.ToArray(), 16, (int)expected.Length - 16), writer.ToArray());
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

        // ---- sizes of arrays and structures -------------------------------

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
        }

        [Test]
        public void StructWithInnerTagsGetsItsSizeRecomputed()
        {
            var input = new PropertyWriter();
            input.StructTags("Line", "SubtitleLine", s => s.Str("Text", "short").Float("Time", 1.5f).None())
                 .Str("Description", "after");
            var expected = input.Nested();
            expected.StructTags("Line", "SubtitleLine", s => s.StrUtf16("Text", "a much longer line").Float("Time", 1.5f).None())
                    .StrUtf16("Description", "D");
            AssertBytes(expected.ToArray(), Import(input, "a much longer line", "D").Output);
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
            AssertBytes(expected.ToArray(), Import(input, "new").Output);
        }

        [Test]
        public void EveryOneOfManyOpenStructsGetsItsSize()
        {
            // 1,500 structs, each the first inner tag of the one before; all
            // end with the same closing tags, and every size grows alike.
            const int depth = 1500;
            Action<PropertyWriter, int, Action<PropertyWriter>> nest = null;
            nest = (w, d, innermost) =>
            {
                if (d == depth) innermost(w);
                else w.StructTags("Inner", "Nest", t => nest(t, d + 1, innermost));
            };
            var input = new PropertyWriter();
            nest(input, 0, w => w.Str("Text", "old"));
            var expected = input.Nested();
            nest(expected, 0, w => w.StrUtf16("Text", "longer than before"));
            AssertBytes(expected.ToArray(), Import(input, "longer than before").Output);
        }

        [TestCase("Subtitles")]
        [TestCase("LocalizedSubtitles")]
        public void SubtitlesArrayMetThroughItsRowIsResized(string arrayName)
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
            AssertBytes(expected.ToArray(), Import(input, "first, now longer", "2", "end").Output);
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
            var input = new PropertyWriter();
            WriteSound(input, 64, "same", false, inline, new[] { 0, 0, 0, 0 });
            var r = Import(input.ToArray(), input.NameTable(), new List<string> { "same" }, 64);
            // The string grows from 8-bit to UTF-16 (5 bytes more); the last
            // 64 bytes, the four records, are identical.
            var inputBytes = input.ToArray();
            AssertBytes(Slice(inputBytes, inputBytes.Length - 64, 64), Slice(r.Output, r.Output.Length - 64, 64));
            Assert.AreEqual(inputBytes.Length + 5, r.Output.Length);
        }
    }
}
