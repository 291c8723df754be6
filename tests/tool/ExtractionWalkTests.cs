using System;
using System.IO;
using System.Text;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    /// <summary>
    /// The property walk of extraction on property data built tag by tag:
    /// what it collects, what it prints and where it leaves the reader.
    /// </summary>
    [TestFixture]
    public class ExtractionWalkTests
    {
        private sealed class WalkResult
        {
            public CollectedText Texts;
            public string Console;
            public long Position;
        }

        /// <summary>Walks the whole of the writer's bytes from offset 0.</summary>
        private static WalkResult Walk(PropertyWriter w)
        {
            return Walk(w, 0, w.Length);
        }

        private static WalkResult Walk(PropertyWriter w, long start, long endPos)
        {
            var reader = new ByteReader(w.ToArray());
            reader.Position = start;
            var result = new WalkResult { Texts = new CollectedText() };
            var console = new StringWriter();
            ConsoleOut.Redirect(console);
            try
            {
                Scrivel.extractPackage(reader, w.NameTable(), result.Texts, endPos, 0x0062035C);
            }
            finally
            {
                ConsoleOut.Redirect(null);
            }
            result.Console = console.ToString();
            result.Position = reader.Position;
            return result;
        }

        private static byte[] Filled(int count, byte value)
        {
            var bytes = new byte[count];
            for (int i = 0; i < count; i++) bytes[i] = value;
            return bytes;
        }

        // ---- the type table ---------------------------------------------

        [TestCase("BoolProperty", 9)]
        [TestCase("ObjectProperty", 12)]
        [TestCase("IntProperty", 12)]
        [TestCase("FloatProperty", 12)]
        [TestCase("ByteProperty", 16)]
        [TestCase("NameProperty", 16)]
        [TestCase("Subtitles", 20)]
        [TestCase("LocalizedSubtitles", 20)]
        [TestCase("SkeletalMeshFragmentName", 24)]
        public void FixedRowSkipsItsBytesExactly(string type, int bytes)
        {
            // The filler bytes are no name index in the table: a walk that
            // skipped one byte too few or too many would print errors and
            // miss the text that follows.
            var w = new PropertyWriter();
            w.Tag("Value", type).Bytes(Filled(bytes, 0xEE)).Str("Text", "after");
            var r = Walk(w);
            Assert.AreEqual("after\r\n", r.Texts.ToString());
            Assert.AreEqual("", r.Console);
            Assert.AreEqual(w.Length, r.Position);
        }

        [Test]
        public void TypicalValuesOfFixedRowsLeaveTheWalkOnTheNextTag()
        {
            var w = new PropertyWriter();
            w.Bool("bLooping", true).Int("Count", 7).Float("Volume", 0.5f).Object("Owner", -3)
             .NameProp("Group", "Dialogue").Str("Text", "one").None();
            var r = Walk(w);
            Assert.AreEqual("one\r\n", r.Texts.ToString());
            Assert.AreEqual("", r.Console);
            Assert.AreEqual(w.Length, r.Position);
        }

        [Test]
        public void UnknownTypeReadsTheSizeFieldAsTheNextNameIndex()
        {
            var w = new PropertyWriter();
            // The "size" of the unknown property is the index of "None", so
            // the walk reads a terminator there and then the text.
            w.Tag("Odd", "MysteryProperty").Int32(w.NameIndex("None")).Int32(0).Str("Text", "seen");
            var r = Walk(w);
            Assert.AreEqual("seen\r\n", r.Texts.ToString());
            Assert.AreEqual("", r.Console, "an unknown type is no error");
            Assert.AreEqual(w.Length, r.Position);
        }

        // ---- strings and the text-property table ----------------------------

        [TestCase("Text", true, true)]
        [TestCase("Description", true, true)]
        [TestCase("SpokenText", true, false)]
        [TestCase("Comment", true, false)]
        [TestCase("Caption", false, false)]
        [TestCase("text", false, false)]
        [TestCase("TEXT", false, false)]
        public void TextPropertiesByNameAndForm(string name, bool eightBitCollected, bool utf16Collected)
        {
            var w = new PropertyWriter();
            w.Str(name, "narrow").StrUtf16(name, "wide").Str("Text", "end");
            var r = Walk(w);
            var expected = (eightBitCollected ? "narrow\r\n" : "") + (utf16Collected ? "wide\r\n" : "") + "end\r\n";
            Assert.AreEqual(expected, r.Texts.ToString());
            Assert.AreEqual(w.Length, r.Position, "a string that is not collected is still read over");
            Assert.AreEqual("", r.Console);
        }

        [Test]
        public void EmptyStringIsNeverALine()
        {
            var w = new PropertyWriter();
            w.StrRaw("Text", 0, new byte[0]).StrRaw("Description", 0, new byte[0]).Str("Comment", "x");
            var r = Walk(w);
            Assert.AreEqual("x\r\n", r.Texts.ToString());
            Assert.AreEqual(1, r.Texts.LineCount);
        }

        [Test]
        public void TrailingNulsAreRemovedAndInnerNulsKept()
        {
            var w = new PropertyWriter();
            w.StrRaw("Comment", 2, new byte[] { 0x61, 0 })                   // "a"
             .StrRaw("Comment", 1, new byte[] { 0 })                         // empty line
             .StrRaw("Text", 4, new byte[] { 0x62, 0, 0x63, 0 })             // b NUL c
             .StrRaw("Text", 4, new byte[] { 0x64, 0, 0, 0 })                // "d"
             .StrRaw("Text", -4, new byte[] { 0x65, 0, 0, 0, 0x66, 0, 0, 0 }) // e NUL f
             .StrRaw("Description", -2, new byte[] { 0x67, 0, 0, 0 })        // "g"
             .StrUtf16("Text", " blanks stay \t");
            var r = Walk(w);
            Assert.AreEqual("a\r\n\r\nb\0c\r\nd\r\ne\0f\r\ng\r\n blanks stay \t\r\n", r.Texts.ToString());
        }

        [Test]
        public void EightBitTextIsUtf8WithReplacementForIllFormedBytes()
        {
            var w = new PropertyWriter();
            w.StrRaw("Text", 3, new byte[] { 0xC3, 0xA9, 0 })       // U+00E9
             .StrRaw("Text", 3, new byte[] { 0x41, 0xE9, 0 })       // A, then a lone E9
             .StrRaw("Text", 5, new byte[] { 0xEF, 0xBB, 0xBF, 0x42, 0 }); // a leading U+FEFF stays
            var r = Walk(w);
            Assert.AreEqual("\u00E9\r\nA\uFFFD\r\n\uFEFFB\r\n", r.Texts.ToString());
        }

        [Test]
        public void Utf16TextKeepsEveryCodeUnit()
        {
            var w = new PropertyWriter();
            // A Cyrillic letter, a character beyond the BMP and a lone surrogate.
            w.StrUtf16("Text", "\u0416\uD83D\uDE00").StrRaw("Text", -2, new byte[] { 0x00, 0xD8, 0, 0 });
            var r = Walk(w);
            Assert.AreEqual("\u0416\uD83D\uDE00\r\n\uD800\r\n", r.Texts.ToString());
        }

        [Test]
        public void LineFeedsAreEscapedAndCarriageReturnsNoted()
        {
            var w = new PropertyWriter();
            w.StrUtf16("Text", "first\nsecond").Str("Comment", "plain").Str("Text", "cr\r\nlf").Str("Text", "lone\rcr");
            var r = Walk(w);
            Assert.AreEqual("first{\\n}second\r\nplain\r\ncr\r{\\n}lf\r\nlone\rcr\r\n", r.Texts.ToString());
            CollectionAssert.AreEqual(new[] { 3, 4 }, r.Texts.CarriageReturnLines);
        }

        // ---- "None", unknown names, ends of walks ---------------------------

        [Test]
        public void NoneDoesNotEndTheWalk()
        {
            var w = new PropertyWriter();
            w.Str("Text", "a").None().None().Str("Text", "b").None();
            Assert.AreEqual("a\r\nb\r\n", Walk(w).Texts.ToString());
        }

        [Test]
        public void WalkStartingAtOrBeyondItsEndReadsNothing()
        {
            var w = new PropertyWriter();
            w.Str("Text", "a");
            var r = Walk(w, 0, 0);
            Assert.AreEqual(0, r.Position);
            Assert.AreEqual(0, r.Texts.LineCount);
            r = Walk(w, 4, 2);
            Assert.AreEqual(4, r.Position);
        }

        [Test]
        public void WalkMayStopBeyondEndPos()
        {
            var w = new PropertyWriter();
            w.Str("Text", "long value").Str("Text", "next");
            // endPos inside the first tag: that tag is read whole, the next not.
            var r = Walk(w, 0, 2);
            Assert.AreEqual("long value\r\n", r.Texts.ToString());
            Assert.AreEqual(16 + 8 + 4 + 11, r.Position);
        }

        [Test]
        public void UnknownNameIndexStepsForwardFourBytesWithOneErrorEach()
        {
            var w = new PropertyWriter();
            w.Str("Text", "a");
            long bad = w.Length;
            w.Int32(9999).Int32(-5).Str("Text", "b");
            var r = Walk(w);
            Assert.AreEqual("a\r\nb\r\n", r.Texts.ToString());
            // Offsets are those 4 bytes before each unknown index.
            Assert.AreEqual("Error: " + (bad - 4) + "\r\nError: " + bad + "\r\n", r.Console);
        }

        [Test]
        public void UnknownTypeReferenceEndsTheWalkWithItsOffset()
        {
            var w = new PropertyWriter();
            w.Str("Text", "a");
            long tag = w.Length;
            w.TagRaw(w.NameIndex("Text"), 0, 7777).Str("Text", "not reached");
            var r = Walk(w);
            Assert.AreEqual("a\r\n", r.Texts.ToString());
            Assert.AreEqual("Error: " + (tag + 8) + "\r\n", r.Console);
            Assert.AreEqual(tag + 16, r.Position, "the walk stops right after the type reference");
        }

        [Test]
        public void TypeReferenceIsFoundOnlyWithZeroUpperHalf()
        {
            var w = new PropertyWriter();
            long tag = w.Length;
            w.TagRaw(w.NameIndex("Text"), 0, ((long)1 << 32) | (uint)w.NameIndex("StrProperty"));
            var r = Walk(w);
            Assert.AreEqual("Error: " + (tag + 8) + "\r\n", r.Console);
        }

        [Test]
        public void NameIndexZeroStartsAdditionalDataWhateverItsName()
        {
            // Even when "None" stands at position 0, index 0 is the additional data.
            var w = new PropertyWriter(new System.Collections.Generic.List<string> { "None" });
            w.Str("Text", "a").None();
            Assert.AreNotEqual(0, w.NameIndex("None"), "the tag's None is a later entry");
            w.AdditionalData(new byte[] { 1, 2, 3 }).Str("Text", "b");
            var r = Walk(w);
            Assert.AreEqual("a\r\nb\r\n", r.Texts.ToString());
            Assert.AreEqual(w.Length, r.Position);
        }

        // ---- arrays ---------------------------------------------------

        [Test]
        public void ArrayOfTwentyFourBytesIsSkippedWithoutLookingInside()
        {
            var w = new PropertyWriter();
            var content = new PropertyWriter(w.Names).Int32(1).Tag("X", "MysteryProperty").Int32(-1).ToArray();
            Assert.AreEqual(24, content.Length);
            w.ArrayRaw("Lines", 24, content).Str("Text", "after");
            var r = Walk(w);
            Assert.AreEqual("after\r\n", r.Texts.ToString());
            Assert.AreEqual("", r.Console, "the -1 inside was never read as a name index");
        }

        [Test]
        public void ArrayOfTwentyFiveBytesIsWalked()
        {
            var w = new PropertyWriter();
            var element = w.Nested().Str("Text", "ab").ToArray(); // 31 bytes
            long arrayStart = w.Length + 16 + 8;
            w.ArrayRaw("Lines", 25, new PropertyWriter(w.Names).Int32(1).Bytes(element).ToArray())
             .Str("Text", "after");
            var r = Walk(w);
            // The element walk ends beyond the array's stated end; the
            // enclosing walk goes on from there.
            Assert.Greater(arrayStart + 4 + element.Length, arrayStart + 25);
            Assert.AreEqual("ab\r\nafter\r\n", r.Texts.ToString());
            Assert.AreEqual(w.Length, r.Position);
        }

        [Test]
        public void NestedArraysGiveTextsInStoredOrderAtEveryDepth()
        {
            var w = new PropertyWriter();
            w.Str("Text", "top 1")
             .Array("Entries", 2, e => e
                 .Str("Text", "entry 1")
                 .Array("Lines", 2, l => l
                     .StrUtf16("Text", "entry 1 line 1").Int("Pause", 3).None()
                     .Str("Description", "entry 1 line 2").None())
                 .None()
                 .Str("Text", "entry 2")
                 .Array("Lines", 1, l => l
                     .Array("Words", 1, x => x.Str("SpokenText", "deep").None())
                     .None())
                 .None())
             .Str("Description", "top 2")
             .None();
            var r = Walk(w);
            Assert.AreEqual("top 1\r\nentry 1\r\nentry 1 line 1\r\nentry 1 line 2\r\nentry 2\r\ndeep\r\ntop 2\r\n",
                r.Texts.ToString());
            Assert.AreEqual("", r.Console);
            Assert.AreEqual(w.Length, r.Position);
        }

        [Test]
        public void ArrayWithNoElementsLeavesItsBytesToTheEnclosingWalk()
        {
            var w = new PropertyWriter();
            var inside = w.Nested().Str("Text", "inside").ToArray();
            w.ArrayWithSize("Lines", 4 + inside.Length, 0, inside).Str("Text", "after");
            var r = Walk(w);
            Assert.AreEqual("inside\r\nafter\r\n", r.Texts.ToString());
        }

        [Test]
        public void LaterElementStartResumesAfterAnUnknownTypeReference()
        {
            var w = new PropertyWriter();
            var elements = w.Nested();
            elements.Str("Text", "a");
            long badInElements = elements.Length;
            elements.TagRaw(w.NameIndex("Text"), 0, 4242).Str("Text", "b").None();
            long arrayTag = w.Length;
            w.Array("Lines", 2, e => e.Bytes(elements.ToArray())).Str("Text", "c");
            long elementsStart = arrayTag + 16 + 8 + 4;
            // The enclosing walk ends where the first element walk stops, so
            // "b" is reached only by the second start of the element walk.
            var r = Walk(w, 0, elementsStart + badInElements + 16);
            Assert.AreEqual("a\r\nb\r\n", r.Texts.ToString());
            Assert.AreEqual("Error: " + (elementsStart + badInElements + 8) + "\r\n", r.Console);
            Assert.AreEqual("a\r\nb\r\nc\r\n", Walk(w).Texts.ToString());
        }

        [Test]
        public void UnknownTypeReferenceInTheOnlyElementEndsOnlyTheElementWalk()
        {
            var w = new PropertyWriter();
            var elements = w.Nested();
            elements.TagRaw(w.NameIndex("Text"), 0, 4242).Str("Text", "b").None();
            w.Array("Lines", 1, e => e.Bytes(elements.ToArray())).Str("Text", "c");
            var r = Walk(w);
            // The enclosing walk goes on from where the element walk stopped.
            Assert.AreEqual("b\r\nc\r\n", r.Texts.ToString());
            Assert.AreEqual(1, r.Console.Split(new[] { "\r\n" }, StringSplitOptions.RemoveEmptyEntries).Length);
        }

        [Test]
        public void ElementWalkIsBoundedByTheArrayEndNotTheEnclosingEnd()
        {
            var w = new PropertyWriter();
            w.Array("Lines", 1, e => e.Str("Text", "in").None()).Str("Text", "out");
            // The enclosing walk ends inside the array; the elements are still
            // walked to the array's end, and the walk then stops.
            var r = Walk(w, 0, 20);
            Assert.AreEqual("in\r\n", r.Texts.ToString());
        }

        // ---- structs --------------------------------------------------

        [TestCase(16L, 32)]
        [TestCase(12L, 28)]
        [TestCase(4L, 28)]
        [TestCase(0L, 28)]
        [TestCase(-8L, 28)]
        public void FixedStructConsumesItsBytes(long size, int bytesAfterType)
        {
            var w = new PropertyWriter();
            w.StructRaw("Location", size, "Vector", Filled(bytesAfterType - 16, 0xEE)).Str("Text", "after");
            var r = Walk(w);
            Assert.AreEqual("after\r\n", r.Texts.ToString());
            Assert.AreEqual("", r.Console);
            Assert.AreEqual(w.Length, r.Position);
        }

        [Test]
        public void StructWithInnerTagsIsWalkedAsPartOfTheList()
        {
            var w = new PropertyWriter();
            w.StructTags("Info", "SpeechInfo", s => s.Str("Description", "inner").Int("Id", 4).None())
             .Str("Text", "outer").None();
            var r = Walk(w);
            Assert.AreEqual("inner\r\nouter\r\n", r.Texts.ToString());
            Assert.AreEqual(w.Length, r.Position);
        }

        [Test]
        public void StructOfFortyBytesConsumesSixteenThenWalksOn()
        {
            var w = new PropertyWriter();
            // S = 40 but the value is a short tag list: only 16 bytes are taken.
            var inner = w.Nested().Str("Text", "x").ToArray();
            w.StructRaw("Info", 40, "SpeechInfo", inner).Str("Text", "y");
            Assert.AreEqual("x\r\ny\r\n", Walk(w).Texts.ToString());
        }

        // ---- ByteProperty shapes ------------------------------------------

        [TestCase("Subtitles")]
        [TestCase("LocalizedSubtitles")]
        public void SubtitlesAfterAnEnumByteAreWalkedInTheSameLoop(string arrayName)
        {
            var w = new PropertyWriter();
            w.ByteEnum("Speaker", "ESpeaker", "ESpeaker_Guard")
             .Array(arrayName, 2, e => e
                 .StrUtf16("Text", "line one").Float("Time", 1.5f).None()
                 .StrUtf16("Text", "line two").Float("Time", 3f).None())
             .Str("Comment", "last").None();
            var r = Walk(w);
            Assert.AreEqual("line one\r\nline two\r\nlast\r\n", r.Texts.ToString());
            Assert.AreEqual("", r.Console);
            Assert.AreEqual(w.Length, r.Position);
        }

        [Test]
        public void SkeletalMeshFragmentNameAfterAnEnumByteIsSkipped()
        {
            var w = new PropertyWriter();
            w.ByteEnum("Slot", "ESlot", "ESlot_Head")
             .NameProp("SkeletalMeshFragmentName", "Head")
             .Str("Text", "after").None();
            var r = Walk(w);
            Assert.AreEqual("after\r\n", r.Texts.ToString());
            Assert.AreEqual("", r.Console);
            Assert.AreEqual(w.Length, r.Position);
        }

        // ---- additional data ------------------------------------------

        [Test]
        public void AdditionalDataWithInlineDataIsPassedOver()
        {
            var w = new PropertyWriter();
            w.Str("Text", "a").None().AdditionalData(Filled(37, 0xEE), new[] { 1, 0, 1, 0 });
            var r = Walk(w);
            Assert.AreEqual("a\r\n", r.Texts.ToString());
            Assert.AreEqual("", r.Console);
            Assert.AreEqual(w.Length, r.Position);
        }

        [Test]
        public void AdditionalDataWithoutInlineDataTakesSixteenMoreBytes()
        {
            var w = new PropertyWriter();
            w.None().BulkRecord(0, 0, 0, 0).BulkRecord(0, 0, 0, 0).Zeros(16).Str("Text", "b");
            var r = Walk(w);
            Assert.AreEqual("b\r\n", r.Texts.ToString());
            Assert.AreEqual(w.Length, r.Position);
        }

        [Test]
        public void AdditionalDataWithFlaggedSecondRecordTakesFourRecords()
        {
            var w = new PropertyWriter();
            // The count is ignored when the flags are set, even a negative one.
            w.BulkRecord(0, 0, 0, 0).BulkRecord(1, -50, 0, 0).Bytes(Filled(64, 0xEE)).Str("Text", "c");
            var r = Walk(w);
            Assert.AreEqual("c\r\n", r.Texts.ToString());
            Assert.AreEqual(w.Length, r.Position);
        }

        // ---- damaged data ---------------------------------------------

        [Test]
        public void DamagedDataRaisesInsteadOfReadingOutside()
        {
            var tooLong = new PropertyWriter();
            tooLong.StrRaw("Text", 100, new byte[] { 0x41, 0 });
            Assert.Throws<DamagedPackageException>(() => Walk(tooLong));

            var tooLongWide = new PropertyWriter();
            tooLongWide.StrRaw("Text", int.MinValue, new byte[] { 0x41, 0 });
            Assert.Throws<DamagedPackageException>(() => Walk(tooLongWide));

            var negativeArray = new PropertyWriter();
            negativeArray.Str("Text", "a").ArrayRaw("Lines", -40, new byte[64]);
            Assert.Throws<DamagedPackageException>(() => Walk(negativeArray));

            var negativeInline = new PropertyWriter();
            negativeInline.BulkRecord(0, 0, 0, 0).BulkRecord(0, -16, 0, 0).Zeros(64);
            Assert.Throws<DamagedPackageException>(() => Walk(negativeInline));

            var cutTag = new PropertyWriter();
            cutTag.Str("Text", "a").Int32(cutTag.NameIndex("Text")).Int32(0).Int32(cutTag.NameIndex("StrProperty"));
            Assert.Throws<DamagedPackageException>(() => Walk(cutTag));

            var arrayPastTheData = new PropertyWriter();
            arrayPastTheData.Array("Lines", 3, e => e.Str("Text", "a").None());
            // Elements are walked up to the stated end, far beyond the data.
            var bytes = arrayPastTheData.ToArray();
            BitConverter.GetBytes(1000L).CopyTo(bytes, 16);
            var reader = new ByteReader(bytes);
            Assert.Throws<DamagedPackageException>(() =>
                Scrivel.extractPackage(reader, arrayPastTheData.NameTable(), new CollectedText(), bytes.Length, 0));
        }

        [Test]
        public void DeeplyNestedArraysDoNotExhaustTheStack()
        {
            // 100,000 arrays, each the only element of the one around it.
            const int depth = 100000;
            var names = new PropertyWriter();
            int arrayName = names.NameIndex("Lines");
            int arrayType = names.NameIndex("ArrayProperty");
            int none = names.NameIndex("None");
            var innermost = names.Nested().Str("Text", "deep").None().ToArray();
            int tagBytes = 16 + 8 + 4;
            var data = new byte[depth * tagBytes + innermost.Length + depth * 8];
            int p = 0;
            for (int level = 0; level < depth; level++)
            {
                // From after S to the end of the None that closes this array's element.
                long size = (long)(depth - level) * (tagBytes + 8) + innermost.Length - 32;
                BitConverter.GetBytes(arrayName).CopyTo(data, p);
                BitConverter.GetBytes((long)arrayType).CopyTo(data, p + 8);
                BitConverter.GetBytes(size).CopyTo(data, p + 16);
                BitConverter.GetBytes(1).CopyTo(data, p + 24);
                p += tagBytes;
            }
            innermost.CopyTo(data, p);
            p += innermost.Length;
            for (int level = 0; level < depth; level++, p += 8)
                BitConverter.GetBytes(none).CopyTo(data, p);
            var texts = new CollectedText();
            var reader = new ByteReader(data);
            Scrivel.extractPackage(reader, names.NameTable(), texts, data.Length, 0);
            Assert.AreEqual("deep\r\n", texts.ToString());
            Assert.AreEqual(data.Length, reader.Position);
        }
    }
}
