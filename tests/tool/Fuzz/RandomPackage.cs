using System;
using System.Collections.Generic;
using System.Text;

namespace tool.Tests.Fuzz
{
    /// <summary>What shapes a generated package may take.</summary>
    public sealed class RandomPackageOptions
    {
        public int MaxExports = 8;
        public int MaxDepth = 3;
        /// <summary>Serial data out of table order, gaps between exports, a trailer after them.</summary>
        public bool LayoutVariety = true;
        /// <summary>Tables in another order than names, imports, exports (import refuses these).</summary>
        public bool TableOrderVariety;
        /// <summary>At least one text property somewhere (regenerated until there is).</summary>
        public bool RequireText = true;
        /// <summary>
        /// Object names, numbers and outers for the exports, as PO keys are
        /// made of: names met twice, names not in the name table, outer
        /// chains and cycles. Otherwise those fields hold filler bytes.
        /// </summary>
        public bool ObjectNames;
    }

    /// <summary>A generated well-formed package with the model of what the tool should make of it.</summary>
    public sealed class GeneratedPackage
    {
        public byte[] Bytes;
        public PackageBuilder Builder;
        /// <summary>Every text value in the order the walks meet them (line feeds not escaped).</summary>
        public List<string> Lines = new List<string>();
        /// <summary>For each line, the index of the export it belongs to.</summary>
        public List<int> LineExport = new List<int>();
        /// <summary>
        /// For each line, whether it is an 8-bit "SpokenText" or "Comment":
        /// once import has stored it as UTF-16 it is no longer a text.
        /// </summary>
        public List<bool> LineIsEightBitOnly = new List<bool>();
        /// <summary>Each export's class name (null: a class reference that names no import).</summary>
        public List<string> ExportClasses = new List<string>();
        /// <summary>Inline data of each export's additional data, where it has some.</summary>
        public Dictionary<int, byte[]> InlineData = new Dictionary<int, byte[]>();

        /// <summary>What the package was generated from, so that it can be generated again with other texts.</summary>
        public ulong Seed;
        public RandomPackageOptions Options;

        public bool IsRewritten(int export)
        {
            string c = ExportClasses[export];
            return c == "SoundNodeWave" || c == "AttributePresentationDefinition";
        }
    }

    /// <summary>
    /// Generates packages whose property data follows the shared tag layout
    /// everywhere: strings of both forms and every name, fixed-size rows,
    /// small and large structs, arrays passed over and walked, nested lists,
    /// arrays met through a byte enumeration's "Subtitles" row, and sound
    /// additional data with absolute offsets. It records every text in walk
    /// order, so extraction's result is known in advance.
    /// </summary>
    public static class RandomPackage
    {
        private static readonly string[] Names8 = { "Text", "Description", "SpokenText", "Comment", "LanguageExt", "Speaker", "Notes" };
        private static readonly string[] Names16 = { "Text", "Description", "SpokenText", "Comment", "Label" };
        private static readonly string[] Text8 = { "Text", "Description", "SpokenText", "Comment" };
        private static readonly string[] Text16 = { "Text", "Description" };
        private static readonly string[] OtherClasses = { "SoundCue", "Texture2D", "ObjectReferencer" };
        private static readonly string[] ObjectNames = { "Wave", "Cue", "Line_A", "Dialog.Intro", "\u00C9cho \u6CE2" };

        public static GeneratedPackage Generate(FuzzRandom rng, RandomPackageOptions options)
        {
            for (int attempt = 0; ; attempt++)
            {
                ulong seed = rng.NextUInt64();
                // First pass: learn where each export's data lands; second: build with those offsets.
                var draft = new Generator(new FuzzRandom(seed), options, null, null).Compose();
                draft.Builder.Build();
                var starts = new int[draft.Builder.Exports.Count];
                for (int i = 0; i < starts.Length; i++) starts[i] = draft.Builder.Exports[i].SerialOffset + 4;
                var result = new Generator(new FuzzRandom(seed), options, starts, null).Compose();
                result.Bytes = result.Builder.Build();
                result.Seed = seed;
                result.Options = options;
                for (int i = 0; i < starts.Length; i++)
                {
                    if (result.Builder.Exports[i].SerialOffset + 4 != starts[i])
                        throw new InvalidOperationException("generated layout moved between passes");
                }
                if (!options.RequireText || result.Lines.Count > 0 || attempt > 50) return result;
            }
        }

        /// <summary>
        /// The serial data that import must make of each export of the package
        /// when its texts are replaced: every text by its new value in UTF-16
        /// (also the 8-bit ones, "SpokenText" and "Comment" included), every
        /// other string with an array index of 0, every size that covers
        /// a text recomputed (an array with an element count of 0 keeps only
        /// that count), and bulk-data offsets for data that begins at
        /// dataStarts[export]. Exports of other classes come out as well, but
        /// import leaves those as they were.
        /// </summary>
        public static List<byte[]> Rewritten(GeneratedPackage g, List<string> values, int[] dataStarts)
        {
            var again = new Generator(new FuzzRandom(g.Seed), g.Options, dataStarts, values).Compose();
            var data = new List<byte[]>();
            foreach (BuiltExport e in again.Builder.Exports) data.Add(e.SerialData);
            return data;
        }

        /// <summary>A value for a text: letters of several scripts, tabs, braces, line feeds, inner NULs; never a CR.</summary>
        public static string RandomValue(FuzzRandom rng, int maxLength)
        {
            int length = rng.OneIn(6) ? 0 : rng.Next(1, maxLength + 1);
            var sb = new StringBuilder();
            for (int i = 0; i < length; i++)
            {
                switch (rng.Next(16))
                {
                    case 0: sb.Append((char)rng.Next(0x400, 0x460)); break;   // Cyrillic
                    case 1: sb.Append((char)rng.Next(0x4E00, 0x4F00)); break; // CJK
                    case 2: sb.Append((char)rng.Next(0x391, 0x3C9)); break;   // Greek
                    case 3: sb.Append((char)rng.Next(0xC0, 0x100)); break;    // Latin-1 letters
                    case 4: sb.Append("\uD83D" + (char)rng.Next(0xDE00, 0xDE4F)); break; // a surrogate pair
                    case 5: sb.Append(rng.Pick(new[] { '\n', '\t', '{', '}', '\\', 'n', '"' })); break;
                    case 6: sb.Append((char)rng.Next(0x600, 0x6FF)); break;   // Arabic
                    case 7: sb.Append(rng.OneIn(4) ? '\0' : ' '); break;
                    default: sb.Append((char)rng.Next(0x20, 0x7F)); break;
                }
            }
            string value = sb.ToString().TrimEnd('\0');
            // The four characters of an escaped line feed cannot be told from one.
            while (value.Contains(TextFile.EscapedLineFeed)) value = value.Replace(TextFile.EscapedLineFeed, "{n}");
            return value;
        }

        private sealed class Generator
        {
            private readonly FuzzRandom rng;
            private readonly RandomPackageOptions options;
            private readonly int[] dataStarts;
            /// <summary>New text values by line, or null for the package as generated.</summary>
            private readonly List<string> replacements;
            private readonly GeneratedPackage result = new GeneratedPackage();
            private int export;

            public Generator(FuzzRandom rng, RandomPackageOptions options, int[] dataStarts, List<string> replacements)
            {
                this.rng = rng;
                this.options = options;
                this.dataStarts = dataStarts;
                this.replacements = replacements;
            }

            public GeneratedPackage Compose()
            {
                var b = new PackageBuilder();
                result.Builder = b;
                var root = new PropertyWriter(b.Names);
                if (rng.OneIn(2)) b.AddImport("Core");
                if (rng.OneIn(2)) b.AddImport("Engine");
                int count = rng.Next(1, options.MaxExports + 1);
                for (export = 0; export < count; export++)
                {
                    string className;
                    int kind = rng.Next(20);
                    if (kind < 7) className = "SoundNodeWave";
                    else if (kind < 11) className = "AttributePresentationDefinition";
                    else if (kind < 13) className = "SoundNodeWaveEx";
                    else if (kind < 19) className = rng.Pick(OtherClasses);
                    else className = null;

                    var w = root.Nested();
                    w.BaseOffset = dataStarts == null ? 0 : dataStarts[export];
                    bool walked = className == "SoundNodeWave" || className == "SoundNodeWaveEx"
                        || className == "AttributePresentationDefinition";
                    List(w, options.MaxDepth, walked);
                    if ((className == "SoundNodeWave" || className == "SoundNodeWaveEx") && !rng.OneIn(5))
                    {
                        byte[] inline = rng.Bytes(rng.Next(8, 48));
                        result.InlineData[export] = inline;
                        var flags = new int[4];
                        for (int i = 0; i < 4; i++) flags[i] = rng.OneIn(3) ? rng.Next(1, 0x100) : 0;
                        w.AdditionalData(inline, flags);
                    }
                    byte[] data = w.ToSerialData(rng.OneIn(2) ? -1 : rng.NextInt32());
                    BuiltExport added = className == null
                        ? b.AddExport(rng.OneIn(2) ? 0 : rng.Next(1, 5), data)
                        : b.AddExport(className, data);
                    added.Values = new int[rng.Next(4)];
                    for (int i = 0; i < added.Values.Length; i++) added.Values[i] = rng.NextInt32();
                    if (options.LayoutVariety && rng.OneIn(6)) added.GapBefore = rng.Bytes(rng.Next(1, 12));
                    result.ExportClasses.Add(className);
                }
                if (options.LayoutVariety)
                {
                    if (rng.OneIn(4)) b.SerialOrder = Permutation(count);
                    if (rng.OneIn(8)) b.Trailer = rng.Bytes(rng.Next(1, 16));
                    if (rng.OneIn(6)) b.GapAfterSummary = rng.Bytes(rng.Next(1, 16));
                    if (rng.OneIn(6)) b.GapAfterNameTable = rng.Bytes(rng.Next(1, 16));
                    if (rng.OneIn(6)) b.GapAfterExportTable = rng.Bytes(rng.Next(1, 16));
                }
                if (options.TableOrderVariety && rng.OneIn(8))
                {
                    var order = Permutation(3);
                    b.TableOrder = new[] { (PackageBuilder.Table)order[0], (PackageBuilder.Table)order[1], (PackageBuilder.Table)order[2] };
                }
                if (rng.OneIn(3)) b.PackageFlags = (rng.OneIn(2) ? 0x20000000u : 0u) | (uint)rng.Next(0x1000000);
                if (options.ObjectNames)
                {
                    foreach (BuiltExport e in b.Exports)
                    {
                        if (rng.OneIn(8)) e.ObjectName = 1 << 20;
                        else b.Name(e, rng.Pick(ObjectNames), rng.Next(3), rng.OneIn(3) ? rng.Next(count + 2) : 0);
                    }
                }
                return result;
            }

            private int[] Permutation(int n)
            {
                var p = new int[n];
                for (int i = 0; i < n; i++) p[i] = i;
                for (int i = n - 1; i > 0; i--)
                {
                    int j = rng.Next(i + 1);
                    int t = p[i]; p[i] = p[j]; p[j] = t;
                }
                return p;
            }

            /// <summary>Notes a text; true when it is to be written with a replaced value.</summary>
            private bool Line(bool walked, string value, bool eightBitOnly, out string written)
            {
                written = value;
                if (!walked) return false;
                result.Lines.Add(value);
                result.LineExport.Add(export);
                result.LineIsEightBitOnly.Add(eightBitOnly);
                if (replacements == null) return false;
                written = replacements[result.Lines.Count - 1];
                return true;
            }

            /// <summary>The array index of a string that import copies: always 0 once rewritten.</summary>
            private int StringArrayIndex(int generated)
            {
                return replacements == null ? generated : 0;
            }

            /// <summary>A property list closed by "None"; at least one property when mustHaveOne.</summary>
            private void List(PropertyWriter w, int depth, bool walked)
            {
                List(w, depth, walked, false);
            }

            private void List(PropertyWriter w, int depth, bool walked, bool mustHaveOne)
            {
                int n = rng.Next(mustHaveOne ? 1 : 0, 5);
                for (int i = 0; i < n; i++) Property(w, depth, walked);
                w.None();
            }

            private void Property(PropertyWriter w, int depth, bool walked)
            {
                int kind = rng.Next(depth > 0 ? 14 : 10);
                switch (kind)
                {
                    case 0:
                    case 1:
                    {
                        string name = rng.Pick(Names8);
                        string value = RandomValue(rng, 30);
                        string written = value;
                        // Every replaced text is stored as UTF-16.
                        bool eightBitOnly = Array.IndexOf(Text16, name) < 0;
                        if (Array.IndexOf(Text8, name) >= 0 && Line(walked, value, eightBitOnly, out written))
                            w.StrUtf16(name, written);
                        else
                            w.Str(name, written);
                        break;
                    }
                    case 2:
                    case 3:
                    {
                        string name = rng.Pick(Names16);
                        string value = RandomValue(rng, 30);
                        string written;
                        if (Array.IndexOf(Text16, name) >= 0) Line(walked, value, false, out written);
                        else written = value;
                        w.StrUtf16(name, written);
                        break;
                    }
                    case 4:
                        // L = 0: no value bytes and never a line, whatever the name.
                        w.StrFull(rng.Pick(Names8), 4, StringArrayIndex(rng.OneIn(3) ? rng.Next(1, 4) : 0), 0, new byte[0]);
                        break;
                    case 5:
                        switch (rng.Next(5))
                        {
                            case 0: w.Int("NumChannels", rng.NextInt32()); break;
                            case 1: w.Float("Duration", rng.Next(1000) / 10f); break;
                            case 2: w.Bool("bManualWordWrap", rng.OneIn(2)); break;
                            case 3: w.Object("FirstNode", rng.NextInt32()); break;
                            default: w.NameProp("Group", "Dialogue"); break;
                        }
                        break;
                    case 6:
                        if (rng.OneIn(2)) w.Struct16("Guid", "Guid", rng.Bytes(16));
                        else w.StructSmall("Offset", rng.Next(0, 13), "Vector", rng.Bytes(12));
                        break;
                    case 7:
                    {
                        // An array passed over whole: S at most 24.
                        int values = rng.Next(0, 6);
                        w.Array("Indices", values, delegate(PropertyWriter e)
                        {
                            for (int v = 0; v < values; v++) e.Int32(rng.NextInt32());
                        });
                        break;
                    }
                    case 8:
                        // The byte value is read as the next tag's name and the
                        // name property's name as its type: the 24-byte row.
                        w.ByteEnum("SubtitlePriority", "ESubtitlePriority", "SUBTITLE_Normal");
                        w.NameProp("SkeletalMeshFragmentName", "Head");
                        break;
                    case 9:
                        w.Int("Volume", rng.NextInt32());
                        break;
                    case 10:
                    case 11:
                    {
                        int elements = rng.Next(1, 4);
                        int stored = rng.OneIn(8) ? rng.Next(0, 6) : elements;
                        string name = rng.OneIn(2) ? "Subtitles" : "Entries";
                        var inner = w.Nested();
                        for (int k = 0; k < elements; k++) List(inner, depth - 1, walked, true);
                        // With no element counted, no element walk starts: the
                        // elements become tags of this list, and import's array
                        // ends after its count.
                        long size = stored == 0 && replacements != null ? 4 : 4 + inner.Length;
                        w.ArrayWithSize(name, size, stored, inner.ToArray());
                        break;
                    }
                    case 12:
                        w.StructTags("Cue", "SubtitleCue", delegate(PropertyWriter s) { List(s, depth - 1, walked, true); });
                        break;
                    default:
                    {
                        // An array met through the byte enumeration's row.
                        int elements = rng.Next(1, 3);
                        w.ByteEnum("DecompressionType", "EDecompressionType", "DTYPE_Setup");
                        w.Array(rng.OneIn(2) ? "Subtitles" : "LocalizedSubtitles", elements, delegate(PropertyWriter e)
                        {
                            for (int k = 0; k < elements; k++) List(e, depth - 1, walked, true);
                        });
                        break;
                    }
                }
            }
        }
    }
}
