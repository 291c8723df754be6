using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Text;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    [TestFixture]
    public class PoKeysTests
    {
        [Test]
        public void ObjectPaths()
        {
            string longName = new string('L', PoKeys.MaxPathLength);
            // Outer reference, name, number, the path expected, whether it is "#index".
            var exports = new object[,]
            {
                /* 0 */ { 0, "Wave", 0, "Wave", false },
                /* 1 */ { 1, "Sub", 3, "Wave.Sub_2", false },
                /* 2 */ { 2, null, 0, "#2", true },
                /* 3 */ { 3, "Leaf", 1, "#2.Leaf_0", false },
                /* 4 */ { 6, "CycleA", 0, "#4", true },
                /* 5 */ { 5, "CycleB", 0, "#5", true },
                /* 6 */ { 6, "IntoCycle", 0, "#6", true },
                /* 7 */ { 100, "Beyond", 0, "#7", true },
                /* 8 */ { -3, "Negative", -2, "Negative", false },
                /* 9 */ { 1, "Has\u0004Separator", 0, "#9", true },
                /* 10 */ { 1, "Lone\uD800", 0, "#10", true },
                /* 11 */ { 12, "Self", 0, "#11", true },
                /* 12 */ { 0, longName, 0, longName, false },
                /* 13 */ { 13, "TooLong", 0, "#13", true },
                /* 14 */ { 14, "UnderTooLong", 0, "#14", true },
                /* 15 */ { 0, longName + "L", 0, "#15", true },
                /* 16 */ { 16, "Child", 0, "#15.Child", false },
                /* 17 */ { 1, "", 0, "Wave.", false },
            };
            int n = exports.GetLength(0);
            var outers = new int[n];
            var names = new string[n];
            var numbers = new int[n];
            for (int i = 0; i < n; i++)
            {
                outers[i] = (int)exports[i, 0];
                names[i] = (string)exports[i, 1];
                numbers[i] = (int)exports[i, 2];
            }
            var keys = new PoKeys(outers, names, numbers);
            // Asked from the last to the first, so that inner exports come before their outers.
            for (int i = n - 1; i >= 0; i--)
                Assert.AreEqual(exports[i, 3] + " " + exports[i, 4], keys.ObjectPath(i) + " " + keys.IsIndexed(i), "export " + i);
        }

        [Test]
        public void LongChainTakesLinearTimeAndEndsAtDepth64()
        {
            const int N = 1000000;
            var outers = new int[N];
            var names = new string[N];
            for (int i = 0; i < N; i++)
            {
                outers[i] = i; // export i-1, none for the first
                names[i] = "N";
            }
            var keys = new PoKeys(outers, names, new int[N]);
            var watch = Stopwatch.StartNew();
            Assert.AreEqual("#" + (N - 1), keys.ObjectPath(N - 1));
            Assert.Less(watch.Elapsed.TotalSeconds, 10);
            Assert.AreEqual(new StringBuilder().Insert(0, "N.", PoKeys.MaxDepth - 1).Append("N").ToString(), keys.ObjectPath(PoKeys.MaxDepth - 1));
            Assert.AreEqual("#" + PoKeys.MaxDepth, keys.ObjectPath(PoKeys.MaxDepth));
        }

        private static string Paths(PropertyWriter w)
        {
            byte[] data = w.ToArray();
            var texts = new PoTexts();
            new PropertyWalker(new ByteReader(data), w.NameTable(), new TextPathSink(data, texts, 0, null)).Walk(data.Length);
            texts.MakeKeys(new PoKeys(new[] { 0 }, new[] { "X" }, new[] { 0 }));
            var keys = new string[texts.Count];
            for (int k = 0; k < keys.Length; k++) keys[k] = texts.Key(k).Substring(2);
            return string.Join("|", keys);
        }

        private static PropertyWriter Nest(PropertyWriter w, int depth)
        {
            return depth == 0 ? w.Str("Text", "deep").None() : w.StructTags("LongStructName", "S", s => Nest(s, depth - 1)).None();
        }

        [Test]
        public void PropertyPathsAsTheWalkMeetsThem()
        {
            Func<PropertyWriter, PropertyWriter> cue = e => e.StructTags("Cue", "SubtitleCue", s => s.Str("Text", "c").None());
            var shortStruct = new PropertyWriter();
            byte[] inner = shortStruct.Nested().Str("Text", "c").None().ToArray();
            var cases = new Dictionary<string, PropertyWriter>
            {
                { "Text|Subtitles[0].Text|Subtitles[1].Text|Subtitles[1].Text #2|Description|Comment", new PropertyWriter()
                    .Str("Text", "a").Array("Subtitles", 2, e => { e.Str("Text", "b").Float("Time", 1).None().Str("Text", "c").Str("Text", "d").None(); })
                    .StrUtf16("Description", "d").Str("Comment", "e").StrUtf16("Comment", "no text").None() },
                // Arrays met through their row, arrays in their elements.
                { "LocalizedSubtitles[0].Subtitles[0].Text|LocalizedSubtitles[1].Subtitles[0].Text|LocalizedSubtitles[1].Subtitles[1].Text|SpokenText",
                  new PropertyWriter().ByteEnum("DecompressionType", "EDecompressionType", "DTYPE_Setup")
                    .Array("LocalizedSubtitles", 2, e =>
                    {
                        e.Str("LanguageExt", "DEU").Array("Subtitles", 1, c => c.Str("Text", "1").None()).Bool("bMature", false).None();
                        e.Array("Subtitles", 2, c => { c.Str("Text", "2").None().StrUtf16("Text", "3").None(); }).None();
                    }).Str("SpokenText", "s").None() },
                // A struct's own "None" ends no element; a struct is left at its end.
                { "Cue.Text|Text|Entries[0].Cue.Text|Entries[0].Text|Entries[1].Text",
                  cue(new PropertyWriter()).Str("Text", "t").Array("Entries", 2, e => { cue(e).Str("Text", "u").None().Str("Text", "v").None(); }).None() },
                // A struct whose declared end lies inside its first tag is left once the walk is past it.
                { "Cue.Text|Text", shortStruct.StructRaw("Cue", 20, "SubtitleCue", inner).Str("Text", "t").None() },
                { "Sub\uFFFDtitles[0].Text", new PropertyWriter().Array("Sub\u0004titles", 1, e => e.Str("Text", "x").None()) },
                // Deeper than 256 characters: the text's number in the export.
                { "Text|#1|Text #2", Nest(new PropertyWriter().Str("Text", "top"), 20).Str("Text", "after") },
            };
            foreach (var c in cases) Assert.AreEqual(c.Key, Paths(c.Value));
        }

        [Test]
        public void KeysMetTwiceGetNumbers()
        {
            int renamed;
            string[] keys = PoKeys.Disambiguate(new[] { "A", "B", "A", "A #2", "A", "B", "A #2" }, out renamed);
            CollectionAssert.AreEqual(new[] { "A", "B", "A #3", "A #2", "A #4", "B #2", "A #2 #2" }, keys);
            Assert.AreEqual(4, renamed);
        }
    }
}
