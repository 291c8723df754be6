// What import needs beyond the tables: the new package's header and the serial sizes and offsets of its export table.
using System;
using System.Collections.Generic;
using System.IO;

namespace tool
{
    /// <summary>
    /// The compiled package's header and the table it ends up with. The
    /// header is the package's bytes from its start up to the first export's
    /// serial data, unchanged but for the serial size and offset of each
    /// export entry, which come from the output table: each export's old
    /// place until <see cref="Move"/> gives it a new one. Entry positions are
    /// the same in both packages.
    /// </summary>
    public sealed class ImportHeader
    {
        private readonly IReadOnlyList<ExportEntry> exports;
        private readonly int[] sizes;
        private readonly int[] offsets;

        private ImportHeader(IReadOnlyList<ExportEntry> exports)
        {
            this.exports = exports;
            sizes = new int[exports.Count];
            offsets = new int[exports.Count];
            for (int k = 0; k < exports.Count; k++)
            {
                sizes[k] = exports[k].SerialSize;
                offsets[k] = exports[k].SerialOffset;
            }
            End = exports[0].SerialOffset;
        }

        /// <summary>
        /// The header of a package read under <see cref="ReadingRules.Import"/>,
        /// whose parts are in file order and which has exports.
        /// </summary>
        public static ImportHeader Of(PackageTables tables)
        {
            if (!tables.Rules.RequiresTableOrder || !tables.Rules.RequiresExports)
                throw new ArgumentException("the package was not read for import", "tables");
            return new ImportHeader(tables.Exports);
        }

        /// <summary>The header's length: the first export's serial offset.</summary>
        public long End { get; private set; }

        /// <summary>Export k's data now lies at offset, size bytes long.</summary>
        public void Move(int k, long offset, long size)
        {
            if (offset > int.MaxValue || size > int.MaxValue)
                throw new OutputTooLargeException();
            offsets[k] = (int)offset;
            sizes[k] = (int)size;
        }

        /// <summary>Bytes of the header put together and written at a time.</summary>
        private const int ChunkSize = 64 << 10;

        /// <summary>
        /// Writes the header at the start of output: the package's bytes up to
        /// <see cref="End"/>, each export entry with its size and offset from
        /// the output table; a piece at a time through one buffer.
        /// </summary>
        public void WriteTo(Stream output, byte[] package)
        {
            output.Position = 0;
            var chunk = new byte[Math.Max(1, Math.Min(End, ChunkSize))];
            var field = new byte[8];
            int k = 0;
            for (long start = 0; start < End; start += chunk.Length)
            {
                int n = (int)Math.Min(chunk.Length, End - start);
                Buffer.BlockCopy(package, (int)start, chunk, 0, n);
                // The entries whose fields lie in this piece, one that goes
                // on into the next piece included.
                for (; k < exports.Count && exports[k].EntryPosition < start + n; k++)
                {
                    PutInt32(field, 0, sizes[k]);
                    PutInt32(field, 4, offsets[k]);
                    long at = exports[k].EntryPosition;
                    for (int b = 0; b < 8; b++)
                        if (at + b >= start && at + b < start + n) chunk[at + b - start] = field[b];
                    if (at + 8 > start + n) break;
                }
                output.Write(chunk, 0, n);
            }
        }

        private static void PutInt32(byte[] bytes, int at, int value)
        {
            bytes[at] = (byte)value;
            bytes[at + 1] = (byte)(value >> 8);
            bytes[at + 2] = (byte)(value >> 16);
            bytes[at + 3] = (byte)(value >> 24);
        }
    }
}
