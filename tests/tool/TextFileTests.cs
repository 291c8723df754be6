using System;
using System.Collections.Generic;
using System.IO;
using System.Text;
using NUnit.Framework;
using tool;
using tool.Tests.Fuzz;

namespace tool.Tests
{
    [TestFixture]
    public class TextFileTests
    {
        private static byte[] Bytes(params int[] values)
        {
            var b = new byte[values.Length];
            for (int i = 0; i < values.Length; i++) b[i] = (byte)values[i];
            return b;
        }

        private static byte[] Concat(byte[] a, byte[] b)
        {
            var r = new byte[a.Length + b.Length];
            Buffer.BlockCopy(a, 0, r, 0, a.Length);
            Buffer.BlockCopy(b, 0, r, a.Length, b.Length);
            return r;
        }

        private static byte[] FileOf(params string[] values)
        {
            return TextFiles.Of(values);
        }

        private static List<string> Lines(byte[] file)
        {
            return TextFiles.Lines(file);
        }

        /// <summary>The text's code units one for one after FF FE, lone surrogates and all.</summary>
        private static byte[] Utf16File(string text)
        {
            var bytes = new byte[2 + 2 * text.Length];
            bytes[0] = 0xFF;
            bytes[1] = 0xFE;
            for (int i = 0; i < text.Length; i++)
            {
                bytes[2 + 2 * i] = (byte)text[i];
                bytes[3 + 2 * i] = (byte)(text[i] >> 8);
            }
            return bytes;
        }

        // --- writing ---

        [Test]
        public void LineFeedInValueIsWrittenAsBracedEscape()
        {
            var file = FileOf("A\nB");
            CollectionAssert.AreEqual(
                Bytes(0xFF, 0xFE, 0x41, 0, 0x7B, 0, 0x5C, 0, 0x6E, 0, 0x7D, 0, 0x42, 0, 0x0D, 0, 0x0A, 0),
                file);
            var lines = Lines(file);
            Assert.AreEqual(1, lines.Count);
            Assert.AreEqual("A\nB", TextFile.UnescapeLine(lines[0]));
        }

        [Test]
        public void EmptyValueGivesEmptyLine()
        {
            CollectionAssert.AreEqual(
                Bytes(0xFF, 0xFE, 0x48, 0, 0x69, 0, 0x0D, 0, 0x0A, 0, 0x0D, 0, 0x0A, 0),
                FileOf("Hi", ""));
            CollectionAssert.AreEqual(new[] { "Hi", "" }, Lines(FileOf("Hi", "")));
        }

        [Test]
        public void EscapeTouchesOnlyLineFeeds()
        {
            Assert.AreEqual("a\r{\\n}b\t\0{x}\\n", TextFile.EscapeLine("a\r\nb\t\0{x}\\n"));
            Assert.AreEqual("{\\n}{\\n}", TextFile.EscapeLine("\n\n"));
            Assert.AreEqual("", TextFile.EscapeLine(""));
        }

        [Test]
        public void UnescapeTouchesOnlyBracedEscape()
        {
            Assert.AreEqual("a\\nb", TextFile.UnescapeLine("a\\nb"), "backslash n without braces stays");
            Assert.AreEqual("{\\n", TextFile.UnescapeLine("{\\n"));
            Assert.AreEqual("x\n\ny", TextFile.UnescapeLine("x{\\n}{\\n}y"));
            Assert.AreEqual("{\n}", TextFile.UnescapeLine("{{\\n}}"));
            Assert.AreEqual("\n", TextFile.UnescapeLine("{\\n}"), "a literal {\\n} cannot be told from an escape");
        }

        [Test]
        public void WriterCopiesEveryCodeUnitLowByteFirst()
        {
            // Cyrillic, CJK, a surrogate pair (U+1F600), an unpaired surrogate and a NUL.
            string value = "\u0416\u4E2D\uD83D\uDE00\uDC00\u0000";
            var bytes = FileOf(value);
            CollectionAssert.AreEqual(
                Bytes(0xFF, 0xFE, 0x16, 0x04, 0x2D, 0x4E, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xDC, 0, 0, 0x0D, 0, 0x0A, 0),
                bytes);
            Assert.AreEqual(value, Lines(bytes)[0]);
        }

        [Test]
        public void NoLinesIsTheMarkAlone()
        {
            CollectionAssert.AreEqual(Bytes(0xFF, 0xFE), FileOf());
            Assert.AreEqual(0, Lines(FileOf()).Count);
        }

        [Test]
        public void CarriageReturnInValueSplitsTheLineOnReading()
        {
            var lines = Lines(FileOf("one\r\ntwo", "three"));
            CollectionAssert.AreEqual(new[] { "one", "{\\n}two", "three" }, lines);
        }

        [Test]
        public void RoundTripKeepsEverythingButCarriageReturns()
        {
            var values = new[] { "", "plain", "tab\there", "nul\0inside", "{braces} \\back", "\u00E9\u00DF\u0639\u05D0\u3042",
                "\uD801\uDC37", "multi\nline\nvalue", "\n" };
            var lines = Lines(FileOf(values));
            Assert.AreEqual(values.Length, lines.Count);
            for (int i = 0; i < values.Length; i++)
                Assert.AreEqual(values[i], TextFile.UnescapeLine(lines[i]), "line " + i);
        }

        // --- reading: byte-order marks ---

        private static readonly string[] Sample = { "First \u0416", "", "Third \uD83D\uDE00" };
        private const string SampleText = "First \u0416\r\n\r\nThird \uD83D\uDE00\r\n";

        [Test]
        public void Utf8WithMark()
        {
            var file = Concat(Bytes(0xEF, 0xBB, 0xBF), Encoding.UTF8.GetBytes(SampleText));
            CollectionAssert.AreEqual(Sample, Lines(file));
        }

        [Test]
        public void Utf16LittleEndianWithMark()
        {
            var file = Concat(Bytes(0xFF, 0xFE), Encoding.Unicode.GetBytes(SampleText));
            CollectionAssert.AreEqual(Sample, Lines(file));
        }

        [Test]
        public void Utf16BigEndianWithMark()
        {
            var file = Concat(Bytes(0xFE, 0xFF), Encoding.BigEndianUnicode.GetBytes(SampleText));
            CollectionAssert.AreEqual(Sample, Lines(file));
        }

        [Test]
        public void Utf32BothByteOrdersWithMark()
        {
            var le = Concat(Bytes(0xFF, 0xFE, 0, 0), new UTF32Encoding(false, false).GetBytes(SampleText));
            var be = Concat(Bytes(0, 0, 0xFE, 0xFF), new UTF32Encoding(true, false).GetBytes(SampleText));
            CollectionAssert.AreEqual(Sample, Lines(le));
            CollectionAssert.AreEqual(Sample, Lines(be));
        }

        [Test]
        public void Utf32LittleEndianMarkIsNotReadAsUtf16()
        {
            // "A" in UTF-32LE; read as UTF-16LE it would begin with a NUL line.
            var lines = Lines(Bytes(0xFF, 0xFE, 0, 0, 0x41, 0, 0, 0, 0x0A, 0, 0, 0));
            CollectionAssert.AreEqual(new[] { "A" }, lines);
        }

        [Test]
        public void NoMarkMeansUtf16LittleEndian()
        {
            var lines = Lines(Encoding.Unicode.GetBytes(SampleText));
            CollectionAssert.AreEqual(Sample, lines);
        }

        [Test]
        public void MarkIsNotPartOfFirstLineAndOnlyMarkGivesNoLines()
        {
            Assert.AreEqual(0, Lines(Bytes(0xEF, 0xBB, 0xBF)).Count);
            Assert.AreEqual(0, Lines(Bytes(0xFE, 0xFF)).Count);
            Assert.AreEqual(0, Lines(Bytes(0xFF, 0xFE, 0, 0)).Count);
            Assert.AreEqual(0, Lines(new byte[0]).Count);
            Assert.AreEqual("x", Lines(Bytes(0xEF, 0xBB, 0xBF, 0x78))[0]);
        }

        // --- reading: line ends ---

        private static List<string> ReadUtf16(string text)
        {
            return Lines(Utf16File(text));
        }

        [Test]
        public void SplitsAtCrLfLoneLfAndLoneCr()
        {
            CollectionAssert.AreEqual(new[] { "a", "b", "c", "d" }, ReadUtf16("a\r\nb\nc\rd\r\n"));
            CollectionAssert.AreEqual(new[] { "a", "", "b" }, ReadUtf16("a\n\rb"), "LF CR is two line ends");
            CollectionAssert.AreEqual(new[] { "", "" }, ReadUtf16("\r\r"));
        }

        [Test]
        public void LastLineWithoutLineEndIsStillALine()
        {
            CollectionAssert.AreEqual(new[] { "a", "b" }, ReadUtf16("a\r\nb"));
            CollectionAssert.AreEqual(new[] { "a", "b" }, ReadUtf16("a\r\nb\r"));
        }

        [Test]
        public void ExtraEmptyLineAtEndCountsAsALine()
        {
            CollectionAssert.AreEqual(new[] { "a", "b", "" }, ReadUtf16("a\r\nb\r\n\r\n"));
        }

        // --- reading: ill-formed input ---

        [Test]
        public void OddTrailingByteOfUtf16BecomesReplacement()
        {
            CollectionAssert.AreEqual(new[] { "A", "\uFFFD" }, Lines(Bytes(0xFF, 0xFE, 0x41, 0, 0x0A, 0, 0x42)));
            CollectionAssert.AreEqual(new[] { "\uFFFD" }, Lines(Bytes(0x42)));
            CollectionAssert.AreEqual(new[] { "A\uFFFD" }, Lines(Bytes(0xFE, 0xFF, 0, 0x41, 0x42)));
        }

        [Test]
        public void Utf16IsSplitFromItsBytesAsTheDecodedTextWouldBe()
        {
            // Line ends at every place, a CR LF across a long line's growth, a
            // CR whose next unit has LF as its other byte, lone surrogates.
            string longLine = new string('x', 300);
            string[] texts = { "", "\r", "\n", "\r\n", "a\rb\nc\r\n\r", longLine + "\r\n" + longLine, "\r\u0A00b",
                               "\uD800\r\n\uDC00", "a\n\r" };
            foreach (string text in texts)
                foreach (bool bigEndian in new[] { false, true })
                    foreach (bool withMark in new[] { false, true })
                        foreach (byte[] odd in new[] { new byte[0], Bytes(0x42) })
                        {
                            if (bigEndian && !withMark) continue;
                            byte[] units = Utf16File(text);
                            if (bigEndian)
                                for (int i = 0; i < units.Length; i += 2) units = Swapped(units, i);
                            byte[] file = Concat(withMark ? units : Slice(units, 2), odd);
                            string decoded = text + (odd.Length > 0 ? "\uFFFD" : "");
                            CollectionAssert.AreEqual(TextMutations.Lines(decoded), Lines(file),
                                "text " + text.Length + " units, big-endian " + bigEndian + ", odd byte " + odd.Length);
                        }
        }

        private static byte[] Swapped(byte[] bytes, int at)
        {
            byte b = bytes[at];
            bytes[at] = bytes[at + 1];
            bytes[at + 1] = b;
            return bytes;
        }

        private static byte[] Slice(byte[] bytes, int from)
        {
            var r = new byte[bytes.Length - from];
            Buffer.BlockCopy(bytes, from, r, 0, r.Length);
            return r;
        }

        [Test]
        public void StoredValuesBecomeTheLinesTheirDecodedTextsWould()
        {
            // 8-bit: ASCII with inner and trailing NULs, CR and LF; UTF-8;
            // ill-formed; only NULs. UTF-16: a lone surrogate, CR LF, NULs.
            byte[][] eightBit =
            {
                Bytes(0x41, 0, 0x42, 0x0D, 0x0A, 0x43, 0, 0), Bytes(0xC3, 0xA9, 0x0A, 0), Bytes(0x61, 0xC3, 0, 0xFF),
                Bytes(0, 0), Bytes(0x7F, 0x0D),
            };
            byte[][] wide =
            {
                Bytes(0x00, 0xD8, 0x0D, 0, 0x0A, 0, 0x41, 0, 0, 0), Bytes(0, 0, 0x42, 0, 0, 0), Bytes(0x0A, 0x0A, 0x0D, 0x0D),
            };
            var stored = new CollectedText();
            var decoded = new CollectedText();
            foreach (bool isWide in new[] { false, true })
                foreach (byte[] value in isWide ? wide : eightBit)
                {
                    byte[] data = Concat(Bytes(0x55, 0x55), value);
                    int length = isWide ? -value.Length / 2 : value.Length;
                    stored.AddStoredLine(data, 2, length, value.Length);
                    decoded.AddLine(StringValue.Decode(data, 2, length, value.Length));
                }
            Assert.AreEqual(decoded.Text(), stored.Text());
            Assert.AreEqual(decoded.LineCount, stored.LineCount);
            CollectionAssert.AreEqual(decoded.CarriageReturnLines, stored.CarriageReturnLines);
            CollectionAssert.AreEqual(new[] { 1, 5, 6 }, stored.CarriageReturnLines);
        }

        [Test]
        public void TextPassedOnAsItGrowsIsTheTextKeptWhole()
        {
            // Values of every path (ASCII, control characters, UTF-8, UTF-16
            // with and without line ends, long runs), over blocks so small
            // that each value, escape and line end is cut at every place.
            var values = new List<Tuple<byte[], bool>>();
            foreach (byte[] v in new[] { Bytes(0x41, 0x42, 0x43, 0), Bytes(0x41, 0x0A, 0x0D, 0x42, 0), Bytes(0xC3, 0xA9, 0x0A, 0),
                Encoding.ASCII.GetBytes(new string('a', 300) + "\0") })
                values.Add(Tuple.Create(v, false));
            foreach (string v in new[] { "\u00E9\uD800x\0", "a\nb\r\nc\0", new string('\u4E2D', 300) + "\0" })
                values.Add(Tuple.Create(Encoding.Unicode.GetBytes(v), true));
            var kept = new CollectedText();
            foreach (var v in values) kept.AddStoredLine(v.Item1, 0, v.Item2 ? -v.Item1.Length / 2 : v.Item1.Length, v.Item1.Length);
            kept.AddLine("x\ny");
            byte[] whole = kept.Bytes();
            foreach (int blockSize in new[] { 4, 6, 8, 10, 64, 1 << 16 })
            {
                var output = new MemoryStream();
                var passed = new CollectedText(output, blockSize);
                foreach (var v in values) passed.AddStoredLine(v.Item1, 0, v.Item2 ? -v.Item1.Length / 2 : v.Item1.Length, v.Item1.Length);
                passed.AddLine("x\ny");
                passed.Finish();
                CollectionAssert.AreEqual(whole, output.ToArray(), "blocks of " + blockSize);
                CollectionAssert.AreEqual(kept.CarriageReturnLines, passed.CarriageReturnLines, "blocks of " + blockSize);
            }
        }

        [Test]
        public void IllFormedUtf8BecomesReplacementWithoutThrowing()
        {
            var lines = Lines(Bytes(0xEF, 0xBB, 0xBF, 0x61, 0xC3, 0x0A, 0xFF, 0x62, 0xE2, 0x82));
            Assert.AreEqual(2, lines.Count);
            StringAssert.StartsWith("a\uFFFD", lines[0]);
            StringAssert.StartsWith("\uFFFDb", lines[1]);
            StringAssert.EndsWith("\uFFFD", lines[1]);
        }

        [Test]
        public void LongUtf8IsReadAsTheWholeDecodedText()
        {
            // Characters of one to four bytes, cut and ill-formed sequences and
            // line ends, at every place of the pieces the text is decoded in.
            byte[][] parts = { Encoding.UTF8.GetBytes("\u00E9\u4E2D\uD83D\uDE00a\r\n"), Bytes(0xE2, 0x82), Bytes(0xFF), Bytes(0x0A) };
            var body = new List<byte>();
            var random = new Random(5);
            while (body.Count < 200000) body.AddRange(parts[random.Next(parts.Length)]);
            string decoded = new UTF8Encoding(false, false).GetString(body.ToArray());
            CollectionAssert.AreEqual(TextMutations.Lines(decoded), Lines(Concat(Bytes(0xEF, 0xBB, 0xBF), body.ToArray())));
        }

        [Test]
        public void FirstLineStartingWithNulIsNotTakenForUtf32()
        {
            // Extraction writes FF FE, then the value's NUL: the bytes of a
            // UTF-32LE mark, followed by text that is no UTF-32.
            var file = FileOf("\0A", "B");
            CollectionAssert.AreEqual(Bytes(0xFF, 0xFE, 0, 0, 0x41, 0, 0x0D, 0, 0x0A, 0, 0x42, 0, 0x0D, 0, 0x0A, 0), file);
            CollectionAssert.AreEqual(new[] { "\0A", "B" }, Lines(file));
            CollectionAssert.AreEqual(new[] { "\0" }, Lines(FileOf("\0")));
            CollectionAssert.AreEqual(new[] { "\0\u4E2D\u0416" }, Lines(FileOf("\0\u4E2D\u0416")));
        }

        [Test]
        public void Utf32MarkBeforeIllFormedUtf32IsReadAsUtf16WithoutThrowing()
        {
            // A value beyond U+10FFFF, a surrogate value, a cut-off unit,
            // CR LF of UTF-16 read as one UTF-32 unit (U+A000D).
            var beyond = Bytes(0xFF, 0xFE, 0, 0, 0, 0, 0x11, 0, 0x41, 0, 0, 0);
            CollectionAssert.AreEqual(new[] { "\0\0\u0011A\0" }, Lines(beyond));
            var surrogate = Bytes(0xFF, 0xFE, 0, 0, 0x00, 0xD8, 0, 0);
            Assert.AreEqual("\0\uD800\0", Lines(surrogate)[0]);
            var cut = Bytes(0xFF, 0xFE, 0, 0, 0x41, 0, 0, 0, 0x42);
            Assert.AreEqual("\0A\0\uFFFD", Lines(cut)[0]);
            var crLf = Bytes(0xFF, 0xFE, 0, 0, 0x41, 0, 0, 0, 0x0D, 0, 0x0A, 0);
            CollectionAssert.AreEqual(new[] { "\0A\0" }, Lines(crLf));
            // Big-endian: without a valid UTF-32 body the file has no mark and is UTF-16LE.
            var be = Bytes(0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF);
            Assert.AreEqual("\0\uFFFE\uFFFF\uFFFF", Lines(be)[0]);
            var beValid = Bytes(0, 0, 0xFE, 0xFF, 0, 0x01, 0xF6, 0x00, 0, 0, 0, 0x41, 0, 0x0E, 0x01, 0x00);
            Assert.AreEqual("\uD83D\uDE00A\uDB40\uDD00", Lines(beValid)[0]);
        }

        [Test]
        public void UnpairedSurrogatesInUtf16AreCarriedAsTheyAre()
        {
            var lines = Lines(Bytes(0xFF, 0xFE, 0x00, 0xD8, 0x41, 0x00, 0x00, 0xDC));
            Assert.AreEqual("\uD800A\uDC00", lines[0]);
        }

        /// <summary>
        /// Lines written into a package and compared straight from the file's
        /// bytes, a piece of 64 KiB at a time, give what the whole decoded
        /// text's lines give: with an escape, a surrogate pair, a cut or
        /// ill-formed UTF-8 sequence or a line end straddling a piece's
        /// boundary, in every form.
        /// </summary>
        [Test]
        public void LinesWrittenAndComparedPieceByPieceAreTheWholeTextsLines()
        {
            const int piece = 1 << 16;
            string[] features = { "{\\n}", "{{\\n}}", "{\\n", "\uD83D\uDE00", "\u4E2D", "\r\n" };
            byte[][] illFormed = { Bytes(0xE2, 0x82), Bytes(0xFF), Bytes(0xF0, 0x9F, 0x98), Bytes(0xE2, 0x82, 0x0D, 0x0A) };
            var utf8 = new UTF8Encoding(false, false);
            var writer = new ByteWriter(1 << 18);
            foreach (string form in new[] { "UTF-8", "UTF-16LE", "UTF-16BE", "UTF-32LE", "UTF-32BE" })
                for (int f = 0; f < features.Length + illFormed.Length; f++)
                    for (int shift = -3; shift <= 0; shift++)
                    {
                        if (f >= features.Length && form != "UTF-8") continue;
                        // The feature begins shift units (UTF-8: bytes) from a piece's end.
                        string filler = new string('x', piece + shift);
                        byte[] file;
                        string text;
                        if (f >= features.Length)
                        {
                            byte[] body = Concat(Concat(utf8.GetBytes(filler), illFormed[f - features.Length]),
                                utf8.GetBytes("y{\\n}\r\nz"));
                            file = Concat(Bytes(0xEF, 0xBB, 0xBF), body);
                            text = utf8.GetString(body);
                        }
                        else
                        {
                            text = filler + features[f] + "y\r\n" + "z" + features[f];
                            file = Encoded(form, text);
                        }
                        var lines = new TextLines(file);
                        List<string> expected = TextMutations.Lines(text);
                        Assert.AreEqual(expected.Count, lines.Count);
                        string where = form + ", feature " + f + ", shift " + shift;
                        for (int i = 0; i < expected.Count; i++)
                        {
                            foreach (bool unescape in new[] { false, true })
                            {
                                writer.Restart(0);
                                long units = lines.WriteValue(i, unescape, writer);
                                string value = unescape ? TextFile.UnescapeLine(expected[i]) : expected[i];
                                Assert.IsTrue(ByteIoTests.Same(Encoding.Unicode.GetBytes(value), writer.ToArray()), where + ", line " + i);
                                Assert.AreEqual(value.Length, units, where);
                            }
                            Assert.IsTrue(lines.Matches(i, expected[i]), where);
                            Assert.IsFalse(lines.Matches(i, expected[i] + "x"), where);
                            Assert.IsFalse(lines.Matches(i, expected[i].Substring(1)), where);
                            Assert.AreEqual(expected[i], lines[i], where);
                        }
                    }
        }

        /// <summary>The text in a form with its byte-order mark; UTF-16 code units one for one.</summary>
        private static byte[] Encoded(string form, string text)
        {
            switch (form)
            {
                case "UTF-8": return Concat(Bytes(0xEF, 0xBB, 0xBF), new UTF8Encoding(false, false).GetBytes(text));
                case "UTF-16LE": return Utf16File(text);
                case "UTF-16BE":
                    byte[] units = Utf16File(text);
                    for (int i = 0; i < units.Length; i += 2) Swapped(units, i);
                    return units;
                case "UTF-32LE": return Concat(Bytes(0xFF, 0xFE, 0, 0), new UTF32Encoding(false, false).GetBytes(text));
                default: return Concat(Bytes(0, 0, 0xFE, 0xFF), new UTF32Encoding(true, false).GetBytes(text));
            }
        }

        /// <summary>Lines asked for one by one, in order, again, and backwards, are the lines of the whole split.</summary>
        [Test]
        public void LinesTakenOneByOneAreTheSplitLines()
        {
            const string text = "one\r\n\r\ntwo\rthree\n\nfour\r\r\nfive";
            var expected = new[] { "one", "", "two", "three", "", "four", "", "five" };
            var lines = new TextLines(Utf16File(text));
            Assert.AreEqual(expected.Length, lines.Count);
            for (int i = 0; i < expected.Length; i++) Assert.AreEqual(expected[i], lines[i], "in order, line " + i);
            Assert.AreEqual(expected[7], lines[7], "the same line again");
            for (int i = expected.Length - 1; i >= 0; i--) Assert.AreEqual(expected[i], lines[i], "backwards, line " + i);
            Assert.Throws<ArgumentOutOfRangeException>(() => { string x = lines[expected.Length]; });
            Assert.AreEqual(0, new TextLines(Utf16File("")).Count);
            Assert.AreEqual(1, new TextLines(Utf16File("x\r\n")).Count);
            var tail = new TextLines(Utf16File("a\r\n\r\n\nb\r\n\r\n"));
            Assert.AreEqual(new[] { true, true, true, true, false, false },
                new[] { tail.HasTextFrom(0), tail.HasTextFrom(1), tail.HasTextFrom(2), tail.HasTextFrom(3), tail.HasTextFrom(4), tail.HasTextFrom(5) });
        }
    }
}
