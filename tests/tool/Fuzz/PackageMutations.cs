using System;
using System.Collections.Generic;

namespace tool.Tests.Fuzz
{
    /// <summary>
    /// Damages a generated package the way real files and hostile ones are
    /// damaged: flipped bytes, fields set to extremes (negative and huge
    /// counts, offsets and lengths near 2^31), serial ranges that overlap or
    /// leave the file, name indices out of range, array sizes that point
    /// backwards or past everything, and cuts at every table boundary.
    /// </summary>
    public static class PackageMutations
    {
        private delegate string Mutation(FuzzRandom rng, GeneratedPackage g, ref byte[] bytes);

        // The mutations inside serial data count twice: most packages get
        // past their tables, and what follows is where the walks work.
        private static readonly Mutation[] All =
        {
            FlipBytes, SummaryField, NameEntryField, ImportEntryField, ExportEntryField,
            SerialRange, SerialWord, PropertyField, NameIndexOutOfRange, AdditionalDataField, Truncate,
            FlipSerialBytes, SerialWord, PropertyField, PropertyField, NameIndexOutOfRange, AdditionalDataField,
        };

        /// <summary>Applies one to three mutations; returns what was done, for the fault report.</summary>
        public static string Apply(FuzzRandom rng, GeneratedPackage g, ref byte[] bytes)
        {
            int n = rng.OneIn(3) ? rng.Next(2, 4) : 1;
            var done = new List<string>();
            for (int i = 0; i < n; i++)
                done.Add(rng.Pick(All)(rng, g, ref bytes));
            return string.Join("; ", done.ToArray());
        }

        /// <summary>Values that sit at the edges of what a field can hold or of the file.</summary>
        public static int Extreme(FuzzRandom rng, int fileLength, int nameCount)
        {
            switch (rng.Next(18))
            {
                case 0: return 0;
                case 1: return -1;
                case 2: return 1;
                case 3: return int.MinValue;
                case 4: return int.MaxValue;
                case 5: return int.MaxValue - 3;
                case 6: return 0x40000000;
                case 7: return -0x40000000;
                case 8: return fileLength;
                case 9: return fileLength + 1;
                case 10: return fileLength - 1;
                case 11: return nameCount;
                case 12: return -nameCount;
                case 13: return rng.Pick(new[] { 12, 13, 16, 24, 25 });
                case 14: return 0x7FFFFF00;
                case 15: return rng.Next(-64, 64);
                case 16: return int.MinValue + rng.Next(8);
                default: return rng.NextInt32();
            }
        }

        private static void Put32(byte[] bytes, long at, int value)
        {
            if (at < 0 || at + 4 > bytes.Length) return;
            bytes[at] = (byte)value;
            bytes[at + 1] = (byte)(value >> 8);
            bytes[at + 2] = (byte)(value >> 16);
            bytes[at + 3] = (byte)(value >> 24);
        }

        private static int Get32(byte[] bytes, long at)
        {
            if (at < 0 || at + 4 > bytes.Length) return 0;
            return BitConverter.ToInt32(bytes, (int)at);
        }

        private static string SetExtreme(FuzzRandom rng, GeneratedPackage g, byte[] bytes, long at, string what)
        {
            int value = Extreme(rng, bytes.Length, g.Builder.Names.Count);
            Put32(bytes, at, value);
            return what + "@" + at + "=" + value;
        }

        private static string FlipBytes(FuzzRandom rng, GeneratedPackage g, ref byte[] bytes)
        {
            if (bytes.Length == 0) return "flip(none)";
            int n = rng.Next(1, 9);
            var at = new List<string>();
            for (int i = 0; i < n; i++)
            {
                int p = rng.Next(bytes.Length);
                if (rng.OneIn(2)) bytes[p] ^= (byte)(1 << rng.Next(8));
                else bytes[p] = (byte)rng.Next(256);
                at.Add(p.ToString());
            }
            return "flip@" + string.Join(",", at.ToArray());
        }

        private static string FlipSerialBytes(FuzzRandom rng, GeneratedPackage g, ref byte[] bytes)
        {
            BuiltExport e = rng.Pick(g.Builder.Exports);
            if (e.SerialData.Length == 0) return "serial flip(none)";
            int n = rng.Next(1, 4);
            var at = new List<string>();
            for (int i = 0; i < n; i++)
            {
                int p = e.SerialOffset + rng.Next(e.SerialData.Length);
                if (p >= bytes.Length) continue;
                bytes[p] ^= (byte)(1 << rng.Next(8));
                at.Add(p.ToString());
            }
            return "serial flip@" + string.Join(",", at.ToArray());
        }

        private static string SummaryField(FuzzRandom rng, GeneratedPackage g, ref byte[] bytes)
        {
            int folder = g.Builder.FolderName.Length;
            long[] fields = { 8, 12, 16 + folder, 20 + folder, 24 + folder, 28 + folder, 32 + folder, 36 + folder, 40 + folder };
            return SetExtreme(rng, g, bytes, rng.Pick(fields), "summary");
        }

        private static string NameEntryField(FuzzRandom rng, GeneratedPackage g, ref byte[] bytes)
        {
            var starts = NameEntryStarts(g);
            if (starts.Count == 0) return "name(none)";
            return SetExtreme(rng, g, bytes, rng.Pick(starts), "name length");
        }

        private static List<long> NameEntryStarts(GeneratedPackage g)
        {
            var starts = new List<long>();
            long p = g.Builder.NameTableOffset;
            byte[] original = g.Bytes;
            for (int i = 0; i < g.Builder.Names.Count; i++)
            {
                starts.Add(p);
                p += 4 + Get32(original, p) + 8;
            }
            return starts;
        }

        private static string ImportEntryField(FuzzRandom rng, GeneratedPackage g, ref byte[] bytes)
        {
            int count = g.Builder.Imports.Count;
            if (count == 0) return "import(none)";
            long entry = g.Builder.ImportTableOffset + 28L * rng.Next(count);
            return SetExtreme(rng, g, bytes, entry + (rng.OneIn(3) ? 24 : 20), "import name");
        }

        private static string ExportEntryField(FuzzRandom rng, GeneratedPackage g, ref byte[] bytes)
        {
            BuiltExport e = rng.Pick(g.Builder.Exports);
            long field = e.EntryOffset + rng.Pick(new[] { 0, 32, 36, 44 });
            return SetExtreme(rng, g, bytes, field, "export entry");
        }

        /// <summary>Serial ranges that overlap another export's, reach past the end or wrap around.</summary>
        private static string SerialRange(FuzzRandom rng, GeneratedPackage g, ref byte[] bytes)
        {
            BuiltExport e = rng.Pick(g.Builder.Exports);
            BuiltExport other = rng.Pick(g.Builder.Exports);
            int size, offset;
            switch (rng.Next(6))
            {
                case 0: offset = other.SerialOffset; size = other.SerialData.Length + rng.Next(0, 64); break;
                case 1: offset = bytes.Length - rng.Next(0, 8); size = rng.Next(1, 4096); break;
                case 2: offset = 0x7FFFFFF0; size = 0x7FFFFFF0; break;
                case 3: offset = e.SerialOffset; size = int.MaxValue; break;
                case 4: offset = rng.Next(0, Math.Max(1, bytes.Length)); size = rng.Next(0, Math.Max(1, bytes.Length)); break;
                default: offset = -rng.Next(1, 100); size = rng.Next(0, 200); break;
            }
            Put32(bytes, e.SerialSizeFieldOffset, size);
            Put32(bytes, e.SerialSizeFieldOffset + 4, offset);
            return "serial range " + offset + "+" + size;
        }

        /// <summary>Any 4-byte-aligned word of an export's data (tags are mostly aligned).</summary>
        private static string SerialWord(FuzzRandom rng, GeneratedPackage g, ref byte[] bytes)
        {
            BuiltExport e = rng.Pick(g.Builder.Exports);
            if (e.SerialData.Length < 8) return "word(none)";
            long at = e.SerialOffset + 4 + 4L * rng.Next((e.SerialData.Length - 4) / 4);
            return SetExtreme(rng, g, bytes, at, "serial word");
        }

        /// <summary>Positions just after a type reference of the given type names, in every export's data.</summary>
        private static List<long> TypeReferenceEnds(GeneratedPackage g, params string[] typeNames)
        {
            var ends = new List<long>();
            byte[] data = g.Bytes;
            var wanted = new List<int>();
            foreach (string t in typeNames)
            {
                int index = g.Builder.Names.IndexOf(t);
                if (index > 0) wanted.Add(index);
            }
            foreach (BuiltExport e in g.Builder.Exports)
            {
                for (long p = e.SerialOffset; p + 8 <= e.SerialOffset + e.SerialData.Length; p++)
                {
                    if (wanted.Contains(Get32(data, p)) && Get32(data, p + 4) == 0) ends.Add(p + 8);
                }
            }
            return ends;
        }

        /// <summary>String lengths, array and struct sizes and element counts set to extremes.</summary>
        private static string PropertyField(FuzzRandom rng, GeneratedPackage g, ref byte[] bytes)
        {
            switch (rng.Next(3))
            {
                case 0:
                {
                    var strings = TypeReferenceEnds(g, "StrProperty");
                    if (strings.Count == 0) return "string(none)";
                    return SetExtreme(rng, g, bytes, rng.Pick(strings) + 8, "string length");
                }
                case 1:
                {
                    var arrays = TypeReferenceEnds(g, "ArrayProperty");
                    if (arrays.Count == 0) return "array(none)";
                    long at = rng.Pick(arrays);
                    switch (rng.Next(4))
                    {
                        case 0: return SetExtreme(rng, g, bytes, at, "array size");
                        case 1: return SetExtreme(rng, g, bytes, at + 8, "array count");
                        case 2:
                            // Sizes that point back into the array's own tag or before it.
                            Put32(bytes, at, -rng.Next(1, 64));
                            Put32(bytes, at + 4, -1);
                            return "array size backwards@" + at;
                        default:
                            Put32(bytes, at, rng.Next(25, 64));
                            Put32(bytes, at + 8, int.MaxValue);
                            return "array small size, huge count@" + at;
                    }
                }
                default:
                {
                    var structs = TypeReferenceEnds(g, "StructProperty");
                    if (structs.Count == 0) return "struct(none)";
                    long at = rng.Pick(structs);
                    if (rng.OneIn(2)) Put32(bytes, at + 4, rng.Pick(new[] { -1, 1, int.MaxValue }));
                    return SetExtreme(rng, g, bytes, at, "struct size");
                }
            }
        }

        /// <summary>A tag's name index or type reference set outside the name table.</summary>
        private static string NameIndexOutOfRange(FuzzRandom rng, GeneratedPackage g, ref byte[] bytes)
        {
            var ends = TypeReferenceEnds(g, "StrProperty", "ArrayProperty", "StructProperty", "IntProperty",
                "BoolProperty", "FloatProperty", "ByteProperty", "NameProperty", "ObjectProperty");
            if (ends.Count == 0) return "name index(none)";
            long typeRef = rng.Pick(ends) - 8;
            int names = g.Builder.Names.Count;
            int value = rng.Pick(new[] { names, names + 1, -1, int.MaxValue, int.MinValue, 0 });
            if (rng.OneIn(2))
            {
                Put32(bytes, typeRef - 8, value);
                return "tag name index=" + value + "@" + (typeRef - 8);
            }
            if (rng.OneIn(2)) Put32(bytes, typeRef + 4, rng.Next(1, 5));
            else Put32(bytes, typeRef, value);
            return "type reference@" + typeRef;
        }

        /// <summary>The flags, count or stored size of a sound's second bulk-data record.</summary>
        private static string AdditionalDataField(FuzzRandom rng, GeneratedPackage g, ref byte[] bytes)
        {
            if (g.InlineData.Count == 0) return "additional data(none)";
            var exports = new List<int>(g.InlineData.Keys);
            int export = rng.Pick(exports);
            BuiltExport e = g.Builder.Exports[export];
            int inline = IndexOf(g.Bytes, g.InlineData[export], e.SerialOffset);
            if (inline < 16) return "additional data(not found)";
            long field = inline - rng.Pick(new[] { 16, 12, 8 });
            return SetExtreme(rng, g, bytes, field, "bulk record");
        }

        /// <summary>Cuts the file at a table boundary or an export's start or end, give or take a byte.</summary>
        private static string Truncate(FuzzRandom rng, GeneratedPackage g, ref byte[] bytes)
        {
            PackageBuilder b = g.Builder;
            var cuts = new List<int>
            {
                0, 4, 8, 12, 16, b.SummaryEnd, b.NameTableOffset, b.NameTableEnd, b.ImportTableOffset,
                b.ImportTableEnd, b.ExportTableOffset, b.ExportTableEnd, b.SerialAreaOffset,
            };
            foreach (BuiltExport e in b.Exports)
            {
                cuts.Add(e.EntryOffset);
                cuts.Add(e.SerialOffset);
                cuts.Add(e.SerialOffset + e.SerialData.Length);
            }
            int at = rng.Pick(cuts) + rng.Next(-1, 2);
            if (at < 0 || at >= bytes.Length) return "cut(none)";
            Array.Resize(ref bytes, at);
            return "cut@" + at;
        }

        public static int IndexOf(byte[] haystack, byte[] needle, int from)
        {
            for (int i = Math.Max(0, from); i + needle.Length <= haystack.Length; i++)
            {
                int j = 0;
                while (j < needle.Length && haystack[i + j] == needle[j]) j++;
                if (j == needle.Length) return i;
            }
            return -1;
        }
    }
}
