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
            var errors = new StringBuilder();
            new PropertyWalker(reader, names, new TextRecorder(data, r.Texts, eightBitOnly, errors)).Walk(endPos);
            r.Console = errors.ToString();
            r.Position = reader.Position;

            var lines = new List<string>();
            for (int i = 0; i < r.Texts.LineCount; i++) lines.Add("#" + i + "{\\n}");
            reader = new ByteReader(data) { Position = start };
            var writer = new ByteWriter(16);
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
            Assert.AreEqual(expected.ToString(), again.Text(), "the texts of import's output");
            return r;
        }

        /// <summary>
        /// Extraction's sink, noting for each text whether it is one only in
        /// 8-bit form, and the walk's errors as the driver prints them.
        /// </summary>
        private sealed class TextRecorder : PropertySink
        {
            private readonly PropertySink lines;
            private readonly List<bool> eightBitOnly;

            public TextRecorder(byte[] data, CollectedText texts, List<bool> eightBitOnly, StringBuilder errors)
                : base(offset => errors.Append(Messages.WalkErrorAt(offset)).Append("\r\n"))
            {
                lines = new ExtractionSink(data, texts, null);
                this.eightBitOnly = eightBitOnly;
            }

            public override void StringValue(string name, bool isText, long sizeField, int length, long valueStart, long byteCount)
            {
                Assert.AreEqual(PropertyTypes.IsTextProperty(name, length), isText, "whether " + name + " is a text");
                if (!isText) return;
                eightBitOnly.Add(!PropertyTypes.IsTextProperty(name, -length));
                lines.StringValue(name, isText, sizeField, length, valueStart, byteCount);
            }
        }

        // ---- lists walked whole, without a message -------------------------

        private static TestCaseData List(string name, string lines, Func<PropertyWriter> build)
        {
            return new TestCaseData(build, lines).SetName(name);
        }

        private static PropertyWriter New()
        {
            return new PropertyWriter();
        }

        /// <summary>Each list with the lines extraction collects from it, "|" between lines.</summary>
        private static IEnumerable<TestCaseData> WholeLists()
        {
            // The filler bytes are no name index in the table: a walk that
            // took one byte too few or too many would print errors and miss
            // the text that follows.
            var rows = new[] { "BoolProperty", "ObjectProperty", "IntProperty", "FloatProperty", "ByteProperty",
                "NameProperty", "Subtitles", "LocalizedSubtitles", "SkeletalMeshFragmentName" };
            var rowBytes = new[] { 9, 12, 12, 12, 16, 16, 20, 20, 24 };
            for (int i = 0; i < rows.Length; i++)
            {
                int n = rowBytes[i];
                string type = rows[i];
                yield return List("row " + type + " takes " + n, "after", () => New().Tag("Value", type).Bytes(Filled(n, 0xEE)).Str("Text", "after").None());
            }
            yield return List("typical values of fixed rows", "one", () => New().Bool("bLooping", true).Int("Count", 7)
                .Float("Volume", 0.5f).Object("Owner", -3).NameProp("Group", "Dialogue").Str("Text", "one").None());
            // The "size" of an unknown property is read as the next name
            // index, here that of "None"; an unknown type is no error.
            yield return List("unknown type", "seen", () => { var w = New(); return w.Tag("Odd", "MysteryProperty").Int32(w.NameIndex("None")).Int32(0).Str("Text", "seen"); });

            // The text properties by name and stored form; what is no text is still read over.
            foreach (var t in new[] { "Text|narrow|wide", "Description|narrow|wide", "SpokenText|narrow|", "Comment|narrow|",
                "Caption||", "text||", "TEXT||" })
            {
                string[] p = t.Split('|');
                string lines = (p[1].Length > 0 ? p[1] + "|" : "") + (p[2].Length > 0 ? p[2] + "|" : "") + "end";
                yield return List("text property " + p[0], lines, () => New().Str(p[0], "narrow").StrUtf16(p[0], "wide").Str("Text", "end"));
            }
            yield return List("an empty string is never a line", "x",
                () => New().StrRaw("Text", 0, new byte[0]).StrRaw("Description", 0, new byte[0]).Str("Comment", "x"));
            yield return List("None ends no walk", "a|b", () => New().Str("Text", "a").None().None().Str("Text", "b").None());

            // Values: trailing NULs go, inner ones stay; 8-bit text is UTF-8
            // with U+FFFD for ill-formed bytes and a leading U+FEFF kept;
            // UTF-16 keeps every code unit, a lone surrogate too.
            yield return List("trailing NULs", "a||b\0c|d|e\0f|g| blanks stay \t", () => New()
                .StrRaw("Comment", 2, new byte[] { 0x61, 0 }).StrRaw("Comment", 1, new byte[] { 0 })
                .StrRaw("Text", 4, new byte[] { 0x62, 0, 0x63, 0 }).StrRaw("Text", 4, new byte[] { 0x64, 0, 0, 0 })
                .StrRaw("Text", -4, new byte[] { 0x65, 0, 0, 0, 0x66, 0, 0, 0 }).StrRaw("Description", -2, new byte[] { 0x67, 0, 0, 0 })
                .StrUtf16("Text", " blanks stay \t"));
            yield return List("8-bit text", "\u00E9|A\uFFFD|\uFEFFB", () => New().StrRaw("Text", 3, new byte[] { 0xC3, 0xA9, 0 })
                .StrRaw("Text", 3, new byte[] { 0x41, 0xE9, 0 }).StrRaw("Text", 5, new byte[] { 0xEF, 0xBB, 0xBF, 0x42, 0 }));
            yield return List("UTF-16 text", "\u0416\uD83D\uDE00|\uD800",
                () => New().StrUtf16("Text", "\u0416\uD83D\uDE00").StrRaw("Text", -2, new byte[] { 0x00, 0xD8, 0, 0 }));

            // Arrays of at most 24 bytes are passed over unread (the -1 in
            // this one is never read as a name index); from 25 bytes on the
            // elements are walked, and the enclosing walk goes on from where
            // they end, here beyond the stated end.
            yield return List("array of 24 bytes", "after", () =>
            {
                var w = New();
                var content = new PropertyWriter(w.Names).Int32(1).Tag("X", "MysteryProperty").Int32(-1).ToArray();
                return w.ArrayRaw("Lines", content.Length, content).ArrayRaw("Empty", 0, new byte[0]).Str("Text", "after");
            });
            yield return List("array of 25 bytes", "ab|after", () =>
            {
                var w = New();
                var element = w.Nested().Str("Text", "ab").ToArray();
                return w.ArrayRaw("Lines", 25, new PropertyWriter(w.Names).Int32(1).Bytes(element).ToArray()).Str("Text", "after");
            });
            yield return List("nested arrays", "top 1|entry 1|entry 1 line 1|entry 1 line 2|entry 2|deep|top 2", () => New()
                .Str("Text", "top 1")
                .Array("Entries", 2, e => e
                    .Str("Text", "entry 1")
                    .Array("Lines", 2, l => l.StrUtf16("Text", "entry 1 line 1").Int("Pause", 3).None().Str("Description", "entry 1 line 2").None())
                    .None()
                    .Str("Text", "entry 2")
                    .Array("Lines", 1, l => l.Array("Words", 1, x => x.Str("SpokenText", "deep").None()).None())
                    .None())
                .Str("Description", "top 2").None());
            yield return List("an array without elements leaves them to the enclosing walk", "inside|after", () =>
            {
                var w = New();
                var inside = w.Nested().Str("Text", "inside").ToArray();
                return w.ArrayWithSize("Lines", 4 + inside.Length, 0, inside).Str("Text", "after");
            });

            // Structs: S = 16 takes 32 bytes after the type, S at most 12 takes
            // 28; any other S takes 16 and its inner tags are walked in the
            // same list, however short they are.
            foreach (long size in new long[] { 16, 12, 4, 0, -8 })
            {
                long s = size;
                yield return List("struct of size " + s, "after", () => New().StructRaw("Location", s, "Vector", Filled(s == 16 ? 16 : 12, 0xEE)).Str("Text", "after"));
            }
            yield return List("struct with inner tags", "inner|outer", () => New()
                .StructTags("Info", "SpeechInfo", s => s.Str("Description", "inner").Int("Id", 4).None()).Str("Text", "outer").None());
            yield return List("struct of 40 bytes", "x|y", () =>
            {
                var w = New();
                return w.StructRaw("Info", 40, "SpeechInfo", w.Nested().Str("Text", "x").ToArray()).Str("Text", "y");
            });

            // After an enum byte, the value is read as the next tag's name,
            // and the next property's name as a type.
            foreach (string name in new[] { "Subtitles", "LocalizedSubtitles" })
            {
                string arrayName = name;
                yield return List(arrayName + " after an enum byte", "line one|line two|last", () => New()
                    .ByteEnum("Speaker", "ESpeaker", "ESpeaker_Guard")
                    .Array(arrayName, 2, e => e.StrUtf16("Text", "line one").Float("Time", 1.5f).None().StrUtf16("Text", "line two").Float("Time", 3f).None())
                    .Str("Comment", "last").None());
            }
            yield return List("SkeletalMeshFragmentName after an enum byte", "after", () => New()
                .ByteEnum("Slot", "ESlot", "ESlot_Head").NameProp("SkeletalMeshFragmentName", "Head").Str("Text", "after").None());

            // Index 0 starts the additional data, even with "None" standing at position 0.
            yield return List("name index 0 whatever its name", "a|b", () =>
            {
                var w = new PropertyWriter(new List<string> { "None" });
                return w.Str("Text", "a").None().AdditionalData(new byte[] { 1, 2, 3 }).Str("Text", "b");
            });
            yield return List("additional data with inline data", "a", () => New().Str("Text", "a").None().AdditionalData(Filled(37, 0xEE), new[] { 1, 0, 1, 0 }));
        }

        [TestCaseSource("WholeLists")]
        public void ListIsWalkedWholeWithoutAMessage(Func<PropertyWriter> build, string lines)
        {
            var w = build();
            var r = Walk(w);
            Assert.AreEqual(lines.Replace("|", "\r\n") + "\r\n", r.Texts.Text());
            Assert.AreEqual("", r.Console);
            Assert.AreEqual(w.Length, r.Position);
        }

        // ---- ends of walks and unknown names --------------------------------

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
            Assert.AreEqual("long value\r\n", r.Texts.Text());
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
            Assert.AreEqual("a\r\nb\r\n", r.Texts.Text());
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
            Assert.AreEqual("a\r\n", r.Texts.Text());
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
            Assert.AreEqual("a\r\nb\r\n", r.Texts.Text());
            Assert.AreEqual("Error: " + (elementsStart + badInElements + 8) + "\r\n", r.Console);
            Assert.AreEqual("a\r\nb\r\nc\r\n", Walk(w).Texts.Text());
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
            Assert.AreEqual("b\r\nc\r\n", r.Texts.Text());
            Assert.AreEqual(1, r.Console.Split(new[] { "\r\n" }, StringSplitOptions.RemoveEmptyEntries).Length);
        }

        [Test]
        public void ElementWalkIsBoundedByTheArrayEndNotTheEnclosingEnd()
        {
            var w = new PropertyWriter();
            w.Array("Lines", 1, e => e.Str("Text", "in").None()).Str("Text", "out");
            // The enclosing walk ends inside the array; the elements are still
            // walked to the array's end, and the walk then stops.
            Assert.AreEqual("in\r\n", Walk(w, 0, 20).Texts.Text());
        }

        /// <summary>
        /// Additional data of forms that extraction passes over and import
        /// refuses (the run then ends): without inline data 16 more bytes,
        /// with a flagged second record four records, whatever the count.
        /// </summary>
        [TestCase(0, 0, 16)]
        [TestCase(1, -50, 64)]
        [TestCase(1, 8, 64)]
        public void AdditionalDataOfAnotherFormIsPassedOverByExtractionAndRefusedByImport(int flags, int count, int rest)
        {
            var w = new PropertyWriter();
            w.None().BulkRecord(0, 0, 0, 0).BulkRecord(flags, count, 0, 0).Bytes(Filled(rest, 0xEE)).Str("Text", "b");
            var r = Walk(w, 0, w.Length, importRefuses: true);
            Assert.AreEqual("b\r\n", r.Texts.Text());
            Assert.AreEqual(w.Length, r.Position);
        }

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
                    Scrivel.importPackage(lines, new ByteWriter(16), new ByteReader(data[i]), ref used, names[i], data[i].Length, Version), "import, case " + i);
            }
            var negativeInline = new PropertyWriter().BulkRecord(0, 0, 0, 0).BulkRecord(0, -16, 0, 0).Zeros(64);
            Assert.Throws<DamagedPackageException>(() => Walk(negativeInline, 0, negativeInline.Length, importRefuses: true));
        }

        [Test]
        public void TypeNamesAreClassifiedExactly()
        {
            var expected = new Dictionary<string, KeyValuePair<PropertyKind, int>>
            {
                { "StrProperty", new KeyValuePair<PropertyKind, int>(PropertyKind.String, 0) },
                { "ArrayProperty", new KeyValuePair<PropertyKind, int>(PropertyKind.Array, 0) },
                { "StructProperty", new KeyValuePair<PropertyKind, int>(PropertyKind.Struct, 0) },
                { "BoolProperty", new KeyValuePair<PropertyKind, int>(PropertyKind.Fixed, 9) },
                { "ObjectProperty", new KeyValuePair<PropertyKind, int>(PropertyKind.Fixed, 12) },
                { "IntProperty", new KeyValuePair<PropertyKind, int>(PropertyKind.Fixed, 12) },
                { "FloatProperty", new KeyValuePair<PropertyKind, int>(PropertyKind.Fixed, 12) },
                { "ByteProperty", new KeyValuePair<PropertyKind, int>(PropertyKind.Fixed, 16) },
                { "NameProperty", new KeyValuePair<PropertyKind, int>(PropertyKind.Fixed, 16) },
                { "Subtitles", new KeyValuePair<PropertyKind, int>(PropertyKind.Fixed, 20) },
                { "LocalizedSubtitles", new KeyValuePair<PropertyKind, int>(PropertyKind.Fixed, 20) },
                { "SkeletalMeshFragmentName", new KeyValuePair<PropertyKind, int>(PropertyKind.Fixed, 24) },
            };
            var names = new List<string>(expected.Keys);
            foreach (string name in expected.Keys)
            {
                names.Add(name.ToLowerInvariant());
                names.Add(name.Substring(1));
                names.Add(name + "\0");
                names.Add(name.Substring(0, name.Length - 1) + "X");
            }
            names.AddRange(new[] { "", "None", "Text", null });
            foreach (string name in names)
            {
                int fixedBytes;
                PropertyKind kind = PropertyTypes.Classify(name, out fixedBytes);
                KeyValuePair<PropertyKind, int> want;
                if (name == null || !expected.TryGetValue(name, out want))
                    want = new KeyValuePair<PropertyKind, int>(PropertyKind.Unknown, 0);
                Assert.AreEqual(want.Key, kind, name);
                Assert.AreEqual(want.Value, fixedBytes, name);
            }
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
            Assert.AreEqual("deep\r\n", r.Texts.Text());
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

        [Test]
        public void LineFeedsAreEscapedAndCarriageReturnsNoted()
        {
            var w = new PropertyWriter();
            w.StrUtf16("Text", "first\nsecond").Str("Comment", "plain").Str("Text", "cr\r\nlf").Str("Text", "lone\rcr");
            var r = Walk(w);
            Assert.AreEqual("first{\\n}second\r\nplain\r\ncr\r{\\n}lf\r\nlone\rcr\r\n", r.Texts.Text());
            CollectionAssert.AreEqual(new[] { 3, 4 }, r.Texts.CarriageReturnLines);
        }

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
                    var failure = Assert.Catch(() => Scrivel.importPackage(lines, new ByteWriter(16),
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
