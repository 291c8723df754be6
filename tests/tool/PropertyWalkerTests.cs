using System;
using System.Collections.Generic;
using System.IO;
using System.Text;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    /// <summary>
    /// The property walk's grammar on data built tag by tag. Every case is
    /// walked by extraction and by import over the same bytes: the case
    /// states what extraction collects, prints and where it stops, and import
    /// must stop at the same byte, print the same lines, take one line per
    /// text and give data from which extraction reads the new lines back.
    /// </summary>
    [TestFixture]
    public class PropertyWalkerTests
    {
        private const uint Version = 0x0062035C;

        private sealed class WalkResult
        {
            public CollectedText Texts;
            public string Console;
            public long Position;
            /// <summary>Import's output for the walked bytes; null when import refused the additional data.</summary>
            public byte[] Output;
        }

        private static WalkResult Walk(PropertyWriter w)
        {
            return Walk(w, 0, w.Length);
        }

        private static WalkResult Walk(PropertyWriter w, long start, long endPos, bool importRefuses = false)
        {
            return Walk(w.ToArray(), w.NameTable(), start, endPos, importRefuses);
        }

        private static WalkResult Walk(byte[] data, Dictionary<long, string> names, long start, long endPos, bool importRefuses = false)
        {
            var r = new WalkResult { Texts = new CollectedText() };
            var reader = new ByteReader(data) { Position = start };
            var eightBitOnly = new List<bool>();
            r.Console = Capture(() => new PropertyWalker(reader, names, new TextRecorder(data, r.Texts, eightBitOnly)).Walk(endPos));
            r.Position = reader.Position;

            var lines = new List<string>();
            for (int i = 0; i < r.Texts.LineCount; i++) lines.Add("#" + i + "{\\n}");
            reader = new ByteReader(data) { Position = start };
            var writer = new ByteWriter();
            int used = 0;
            string console = "";
            try
            {
                console = Capture(() => Scrivel.importPackage(lines, writer, reader, ref used, names, endPos, Version));
            }
            catch (AdditionalDataException)
            {
                Assert.IsTrue(importRefuses, "import refused the additional data");
                return r;
            }
            Assert.IsFalse(importRefuses, "import accepted the additional data");
            Assert.AreEqual(r.Console, console, "import's messages");
            Assert.AreEqual(r.Position, reader.Position, "import's end");
            Assert.AreEqual(lines.Count, used, "import's lines");
            r.Output = writer.ToArray();

            // The new lines come back, but for those of 8-bit spoken texts and
            // comments: stored as UTF-16 now, they are no texts any more.
            var expected = new StringBuilder();
            for (int i = 0; i < lines.Count; i++)
                if (!eightBitOnly[i]) expected.Append("#" + i + "{\\n}\r\n");
            var again = new CollectedText();
            Capture(() => Scrivel.extractPackage(new ByteReader(r.Output), names, again, r.Output.Length, Version));
            Assert.AreEqual(expected.ToString(), again.ToString(), "the texts of import's output");
            return r;
        }

        /// <summary>Extraction's sink, noting for each text whether it is one only in 8-bit form.</summary>
        private sealed class TextRecorder : PropertySink
        {
            private readonly PropertySink lines;
            private readonly List<bool> eightBitOnly;

            public TextRecorder(byte[] data, CollectedText texts, List<bool> eightBitOnly)
            {
                lines = new ExtractionSink(data, texts);
                this.eightBitOnly = eightBitOnly;
            }

            public override void StringValue(string name, long sizeField, int length, long valueStart, long byteCount)
            {
                if (!PropertyTypes.IsTextProperty(name, length)) return;
                eightBitOnly.Add(!PropertyTypes.IsTextProperty(name, -length));
                lines.StringValue(name, sizeField, length, valueStart, byteCount);
            }
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
        public void FixedRowTakesItsBytesExactly(string type, int bytes)
        {
            // The filler bytes are no name index in the table: a walk that
            // took one byte too few or too many would print errors and miss
            // the text that follows.
            var w = new PropertyWriter();
            w.Tag("Value", type).Bytes(Filled(bytes, 0xEE)).Str("Text", "after").None();
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

        // ---- the text-property table --------------------------------------

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
            Assert.AreEqual(0, r.Output.Length);
            Assert.AreEqual(4, Walk(w, 4, 2).Position);
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
            Assert.AreEqual("Error: " + (tag + 8) + "\r\n", Walk(w).Console);
        }

        // ---- arrays ---------------------------------------------------

        [Test]
        public void ArrayOfTwentyFourBytesIsPassedOverWithoutLookingInside()
        {
            var w = new PropertyWriter();
            var content = new PropertyWriter(w.Names).Int32(1).Tag("X", "MysteryProperty").Int32(-1).ToArray();
            Assert.AreEqual(24, content.Length);
            w.ArrayRaw("Lines", 24, content).ArrayRaw("Empty", 0, new byte[0]).Str("Text", "after");
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
            Assert.AreEqual("inside\r\nafter\r\n", Walk(w).Texts.ToString());
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
            Assert.AreEqual("in\r\n", Walk(w, 0, 20).Texts.ToString());
        }

        // ---- structs and ByteProperty shapes ------------------------------

        [TestCase(16L, 32)]
        [TestCase(12L, 28)]
        [TestCase(4L, 28)]
        [TestCase(0L, 28)]
        [TestCase(-8L, 28)]
        public void FixedStructTakesItsBytes(long size, int bytesAfterType)
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
        public void StructOfFortyBytesTakesSixteenThenWalksOn()
        {
            var w = new PropertyWriter();
            // S = 40 but the value is a short tag list: only 16 bytes are taken.
            var inner = w.Nested().Str("Text", "x").ToArray();
            w.StructRaw("Info", 40, "SpeechInfo", inner).Str("Text", "y");
            Assert.AreEqual("x\r\ny\r\n", Walk(w).Texts.ToString());
        }

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
        public void SkeletalMeshFragmentNameAfterAnEnumByteIsPassedOver()
        {
            var w = new PropertyWriter();
            w.ByteEnum("Slot", "ESlot", "ESlot_Head").NameProp("SkeletalMeshFragmentName", "Head").Str("Text", "after").None();
            var r = Walk(w);
            Assert.AreEqual("after\r\n", r.Texts.ToString());
            Assert.AreEqual("", r.Console);
            Assert.AreEqual(w.Length, r.Position);
        }

        // ---- additional data ------------------------------------------

        [Test]
        public void NameIndexZeroStartsAdditionalDataWhateverItsName()
        {
            // Even when "None" stands at position 0, index 0 is the additional data.
            var w = new PropertyWriter(new List<string> { "None" });
            w.Str("Text", "a").None();
            Assert.AreNotEqual(0, w.NameIndex("None"), "the tag's None is a later entry");
            w.AdditionalData(new byte[] { 1, 2, 3 }).Str("Text", "b");
            var r = Walk(w);
            Assert.AreEqual("a\r\nb\r\n", r.Texts.ToString());
            Assert.AreEqual(w.Length, r.Position);
        }

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

        /// <summary>Forms that extraction passes over and import refuses (the run then ends).</summary>
        [TestCase(0, 0, 16, Description = "no inline data: 16 more bytes")]
        [TestCase(1, -50, 64, Description = "flagged second record: four records, whatever the count")]
        [TestCase(1, 8, 64)]
        public void AdditionalDataOfAnotherFormIsPassedOverByExtractionAndRefusedByImport(int flags, int count, int rest)
        {
            var w = new PropertyWriter();
            w.None().BulkRecord(0, 0, 0, 0).BulkRecord(flags, count, 0, 0).Bytes(Filled(rest, 0xEE)).Str("Text", "b");
            var r = Walk(w, 0, w.Length, importRefuses: true);
            Assert.AreEqual("b\r\n", r.Texts.ToString());
            Assert.AreEqual(w.Length, r.Position);
        }

        // ---- damaged data ---------------------------------------------

        [Test]
        public void DamagedDataRaisesInBothWalksInsteadOfReadingOutside()
        {
            var cases = new List<PropertyWriter>();
            cases.Add(new PropertyWriter().StrRaw("Text", 100, new byte[] { 0x41, 0 }));
            cases.Add(new PropertyWriter().StrRaw("Text", int.MinValue, new byte[] { 0x41, 0 }));
            cases.Add(new PropertyWriter().Str("Text", "a").ArrayRaw("Lines", -40, new byte[64]));
            cases.Add(new PropertyWriter().BulkRecord(0, 0, 0, 0).BulkRecord(0, 100, 0, 0).Zeros(20));
            var cut = new PropertyWriter();
            cases.Add(cut.Str("Text", "a").Int32(cut.NameIndex("Text")).Int32(0).Int32(cut.NameIndex("StrProperty")));
            var pastTheData = new PropertyWriter();
            pastTheData.Array("Lines", 3, e => e.Str("Text", "a").None());
            // Elements are walked up to the stated end, far beyond the data.
            var bytes = pastTheData.ToArray();
            BitConverter.GetBytes(1000L).CopyTo(bytes, 16);

            var names = new List<Dictionary<long, string>>();
            var data = new List<byte[]>();
            foreach (var w in cases) { names.Add(w.NameTable()); data.Add(w.ToArray()); }
            names.Add(pastTheData.NameTable());
            data.Add(bytes);
            for (int i = 0; i < data.Count; i++)
            {
                var lines = new List<string> { "x", "y", "z" };
                int used = 0;
                Assert.Throws<DamagedPackageException>(() =>
                    Scrivel.extractPackage(new ByteReader(data[i]), names[i], new CollectedText(), data[i].Length, Version), "extraction, case " + i);
                Assert.Throws<DamagedPackageException>(() =>
                    Scrivel.importPackage(lines, new ByteWriter(), new ByteReader(data[i]), ref used, names[i], data[i].Length, Version), "import, case " + i);
            }
            var negativeInline = new PropertyWriter().BulkRecord(0, 0, 0, 0).BulkRecord(0, -16, 0, 0).Zeros(64);
            Assert.Throws<DamagedPackageException>(() => Walk(negativeInline, 0, negativeInline.Length, importRefuses: true));
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
            const int tagBytes = 16 + 8 + 4;
            var data = new byte[depth * tagBytes + innermost.Length + depth * 8];
            int p = 0;
            for (int level = 0; level < depth; level++, p += tagBytes)
            {
                // From after S to the end of the None that closes this array's element.
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

            var r = Walk(data, names.NameTable(), 0, data.Length);
            Assert.AreEqual("deep\r\n", r.Texts.ToString());
            Assert.AreEqual(data.Length, r.Position);
            // "deep" (8-bit, 5 bytes) became "#0" and a line feed (UTF-16, 8
            // bytes): every enclosing size grew by exactly the 3 bytes more.
            Assert.AreEqual(data.Length + 3, r.Output.Length);
            for (int level = 0; level < depth; level += 9999)
            {
                long old = BitConverter.ToInt64(data, level * tagBytes + 16);
                Assert.AreEqual(old + 3, BitConverter.ToInt64(r.Output, level * tagBytes + 16), "level " + level);
            }
        }

        // ---- values as extraction writes them -----------------------------

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
            Assert.AreEqual("a\r\n\r\nb\0c\r\nd\r\ne\0f\r\ng\r\n blanks stay \t\r\n", Walk(w).Texts.ToString());
        }

        [Test]
        public void EightBitTextIsUtf8WithReplacementForIllFormedBytes()
        {
            var w = new PropertyWriter();
            w.StrRaw("Text", 3, new byte[] { 0xC3, 0xA9, 0 })       // U+00E9
             .StrRaw("Text", 3, new byte[] { 0x41, 0xE9, 0 })       // A, then a lone E9
             .StrRaw("Text", 5, new byte[] { 0xEF, 0xBB, 0xBF, 0x42, 0 }); // a leading U+FEFF stays
            Assert.AreEqual("\u00E9\r\nA\uFFFD\r\n\uFEFFB\r\n", Walk(w).Texts.ToString());
        }

        [Test]
        public void Utf16TextKeepsEveryCodeUnit()
        {
            var w = new PropertyWriter();
            // A Cyrillic letter, a character beyond the BMP and a lone surrogate.
            w.StrUtf16("Text", "\u0416\uD83D\uDE00").StrRaw("Text", -2, new byte[] { 0x00, 0xD8, 0, 0 });
            Assert.AreEqual("\u0416\uD83D\uDE00\r\n\uD800\r\n", Walk(w).Texts.ToString());
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

        // ---- any list -------------------------------------------------

        [Test]
        public void GeneratedListsAreWalkedAlikeByBothSinks()
        {
            var random = new Random(20150115);
            int whole = 0;
            for (int round = 0; round < 300; round++)
            {
                var w = new PropertyWriter();
                RandomList(w, random, 0);
                try
                {
                    Walk(w, 0, w.Length, importRefuses: false);
                    whole++;
                }
                catch (DamagedPackageException)
                {
                    // Past damage the sinks need not agree on anything but
                    // that the data cannot be compiled.
                    int used = 0;
                    var lines = new List<string>();
                    for (int k = 0; k < 1000; k++) lines.Add("x");
                    var failure = Assert.Catch(() => Scrivel.importPackage(lines, new ByteWriter(),
                        new ByteReader(w.ToArray()), ref used, w.NameTable(), w.Length, Version), "round " + round);
                    Assert.IsTrue(failure is DamagedPackageException || failure is AdditionalDataException, failure.ToString());
                }
            }
            Assert.Greater(whole, 250, "most generated lists are whole");
        }

        private static readonly string[] StringNames = { "Text", "Description", "SpokenText", "Comment", "Caption" };

        private static void RandomList(PropertyWriter w, Random random, int depth)
        {
            int tags = random.Next(1, 6);
            for (int i = 0; i < tags; i++)
            {
                string name = StringNames[random.Next(StringNames.Length)];
                switch (random.Next(depth < 3 ? 13 : 10))
                {
                    case 0: w.Str(name, RandomValue(random)); break;
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

        private static string Capture(Action action)
        {
            var console = new StringWriter();
            ConsoleOut.Redirect(console);
            try
            {
                action();
            }
            finally
            {
                ConsoleOut.Redirect(null);
            }
            return console.ToString();
        }

        private static byte[] Filled(int count, byte value)
        {
            var bytes = new byte[count];
            for (int i = 0; i < count; i++) bytes[i] = value;
            return bytes;
        }
    }
}
