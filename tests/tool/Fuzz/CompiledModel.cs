using System;
using System.Collections.Generic;

namespace tool.Tests.Fuzz
{
    /// <summary>
    /// What a compiled package must look like next to the package it was made
    /// from: every byte up to the old end as it was (the export table's serial
    /// sizes and offsets aside, and bytes that lie in no export's data after
    /// the first export's data, which become zeros), the rewritten exports'
    /// new data back to back from the old end in table order, and the sound
    /// bulk-data offsets in it pointing at their own absolute positions.
    /// </summary>
    public static class CompiledModel
    {
        public static void Verify(string caseId, GeneratedPackage g, byte[] compiled, FaultList faults)
        {
            byte[] old = g.Bytes;
            PackageBuilder b = g.Builder;
            int exports = b.Exports.Count;
            var newSize = new int[exports];
            var newOffset = new int[exports];
            for (int i = 0; i < exports; i++)
            {
                int field = b.Exports[i].SerialSizeFieldOffset;
                if (field + 8 > compiled.Length)
                {
                    faults.Add(caseId, "compiled package ends inside the export table");
                    return;
                }
                newSize[i] = BitConverter.ToInt32(compiled, field);
                newOffset[i] = BitConverter.ToInt32(compiled, field + 4);
            }

            // The export table: untouched exports keep their values; rewritten
            // ones follow each other from the old end, in table order.
            long append = old.Length;
            bool anyRewritten = false;
            for (int i = 0; i < exports; i++)
            {
                BuiltExport e = b.Exports[i];
                if (!g.IsRewritten(i))
                {
                    if (newSize[i] != e.SerialData.Length || newOffset[i] != e.SerialOffset)
                        faults.Add(caseId, "export " + i + " (" + g.ExportClasses[i] + ") was moved");
                    continue;
                }
                anyRewritten = true;
                if (newOffset[i] != append)
                {
                    faults.Add(caseId, "export " + i + " placed at " + newOffset[i] + ", expected " + append);
                    return;
                }
                append += newSize[i];
            }
            long expectedLength = anyRewritten ? append : OldDataEnd(g);
            if (compiled.Length != expectedLength)
            {
                faults.Add(caseId, "compiled package has " + compiled.Length + " bytes, expected " + expectedLength);
                return;
            }

            // Everything before the old end.
            int firstOffset = b.Exports[0].SerialOffset;
            long limit = Math.Min(old.Length, compiled.Length);
            for (int p = 0; p < limit; p++)
            {
                if (InEntryFields(b, p)) continue;
                byte expected = p < firstOffset || InSomeExport(b, p) ? old[p] : (byte)0;
                if (compiled[p] != expected)
                {
                    faults.Add(caseId, "compiled byte " + p + " is " + compiled[p] + ", expected " + expected);
                    return;
                }
            }

            // Bulk-data offsets of each rewritten sound: absolute positions of the byte after the field.
            foreach (var pair in g.InlineData)
            {
                if (!g.IsRewritten(pair.Key)) continue;
                int at = PackageMutations.IndexOf(compiled, pair.Value, newOffset[pair.Key]);
                if (at < 0 || at + pair.Value.Length > (long)newOffset[pair.Key] + newSize[pair.Key])
                {
                    faults.Add(caseId, "inline data of export " + pair.Key + " missing from its new data");
                    continue;
                }
                int stored = BitConverter.ToInt32(compiled, at - 4);
                if (stored != at)
                    faults.Add(caseId, "bulk-data offset of export " + pair.Key + " is " + stored + ", expected " + at);
            }
        }

        /// <summary>
        /// Compares each rewritten export's new data byte for byte with what
        /// the generator makes of the package with the new values in place.
        /// </summary>
        public static void VerifyRewrittenData(string caseId, GeneratedPackage g, byte[] compiled,
            List<string> values, FaultList faults)
        {
            int exports = g.Builder.Exports.Count;
            var offsets = new int[exports];
            var sizes = new int[exports];
            var starts = new int[exports];
            for (int i = 0; i < exports; i++)
            {
                int field = g.Builder.Exports[i].SerialSizeFieldOffset;
                sizes[i] = BitConverter.ToInt32(compiled, field);
                offsets[i] = BitConverter.ToInt32(compiled, field + 4);
                starts[i] = offsets[i] + 4;
            }
            List<byte[]> expected = RandomPackage.Rewritten(g, values, starts);
            for (int i = 0; i < exports; i++)
            {
                if (!g.IsRewritten(i)) continue;
                byte[] want = expected[i];
                if (sizes[i] != want.Length)
                {
                    faults.Add(caseId, "export " + i + " rewritten to " + sizes[i] + " bytes, expected " + want.Length);
                    continue;
                }
                if (offsets[i] < 0 || (long)offsets[i] + sizes[i] > compiled.Length) continue;
                for (int k = 0; k < want.Length; k++)
                {
                    if (compiled[offsets[i] + k] != want[k])
                    {
                        faults.Add(caseId, "export " + i + " byte " + k + " of its new data is " + compiled[offsets[i] + k]
                            + ", expected " + want[k]);
                        break;
                    }
                }
            }
        }

        /// <summary>Without rewritten exports the output ends with the export data that lies furthest into the file.</summary>
        private static long OldDataEnd(GeneratedPackage g)
        {
            long end = g.Builder.Exports[0].SerialOffset;
            foreach (BuiltExport e in g.Builder.Exports) end = Math.Max(end, (long)e.SerialOffset + e.SerialData.Length);
            return end;
        }

        private static bool InEntryFields(PackageBuilder b, int p)
        {
            foreach (BuiltExport e in b.Exports)
            {
                if (p >= e.SerialSizeFieldOffset && p < e.SerialSizeFieldOffset + 8) return true;
            }
            return false;
        }

        private static bool InSomeExport(PackageBuilder b, int p)
        {
            foreach (BuiltExport e in b.Exports)
            {
                if (p >= e.SerialOffset && p < e.SerialOffset + e.SerialData.Length) return true;
            }
            return false;
        }

        /// <summary>
        /// The lines that extracting the compiled package must give, in order:
        /// for the rewritten classes the lines of the text file as they were
        /// used (NULs at the end of a value never survive), but none for an
        /// 8-bit "SpokenText" or "Comment", which import stores as UTF-16, a
        /// form in which they are no texts; for the extended sound class the
        /// package's own texts, which import leaves as they were.
        /// </summary>
        public static List<string> ExpectedLinesAfterImport(GeneratedPackage g, List<string> fileLines)
        {
            return ExpectedLinesAfterImport(g, fileLines, new List<int>());
        }

        /// <summary>As above; lineExports receives, for each expected line, its export.</summary>
        public static List<string> ExpectedLinesAfterImport(GeneratedPackage g, List<string> fileLines, List<int> lineExports)
        {
            var expected = new List<string>();
            for (int i = 0; i < g.Lines.Count; i++)
            {
                int export = g.LineExport[i];
                if (!g.IsRewritten(export))
                    expected.Add(g.Lines[i]);
                else if (!g.LineIsEightBitOnly[i])
                    expected.Add(TextFile.UnescapeLine(fileLines[i]).TrimEnd('\0'));
                else
                    continue;
                lineExports.Add(export);
            }
            return expected;
        }
    }
}
