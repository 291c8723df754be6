using System;
using System.Collections.Generic;
using System.IO;
using System.Text;

namespace tool.Tests
{
    /// <summary>
    /// Builds a synthetic package (tag 0x9E2A83C1, version 0x0062035C) byte
    /// by byte, with every field under the test's control.
    ///
    /// <code>
    /// var b = new PackageBuilder();
    /// var props = new PropertyWriter(b.Names);          // one shared name table
    /// props.Str("Text", "Hello").None();
    /// b.AddExport("SoundNodeWave", props.ToSerialData());
    /// byte[] package = b.Build();
    /// int at = b.Exports[0].SerialOffset;              // offsets used, after Build
    /// </code>
    ///
    /// Layout: the summary (44 + folder name bytes), <see cref="GapAfterSummary"/>,
    /// the three tables in <see cref="TableOrder"/> each followed by its gap,
    /// then the exports' serial data in <see cref="SerialOrder"/> (each after
    /// its own <see cref="BuiltExport.GapBefore"/>), then <see cref="Trailer"/>.
    /// Counts, offsets and sizes are computed from that layout unless one of
    /// the nullable overrides is set; <see cref="TruncateAt"/> cuts the result.
    /// Fields the tool does not interpret are filled with non-zero patterns,
    /// so a misplaced copy shows in a byte comparison.
    /// </summary>
    public sealed class PackageBuilder
    {
        public enum Table { Names, Imports, Exports }

        // Summary.
        public uint Tag = 0x9E2A83C1;
        public uint Version = 0x0062035C;
        /// <summary>Null: the offset at which the serial data area begins.</summary>
        public int? HeaderSize;
        public byte[] FolderName = Encoding.ASCII.GetBytes("None\0");
        /// <summary>Null: the length of <see cref="FolderName"/>.</summary>
        public int? FolderNameLength;
        /// <summary>The most significant byte is the one extraction tests (0x00 or 0x20 accepted).</summary>
        public uint PackageFlags = 0x00080009;

        // Overrides of the six summary values; null means computed.
        public int? NameCount, NameOffset, ExportCount, ExportOffset, ImportCount, ImportOffset;

        /// <summary>Name table entry i is Names[i], stored as UTF-8 followed by one NUL.</summary>
        public List<string> Names = new List<string>();
        /// <summary>Replaces the stored bytes of name entry i (N becomes their length).</summary>
        public Dictionary<int, byte[]> RawNameBytes = new Dictionary<int, byte[]>();
        /// <summary>Replaces the length N written for name entry i (the bytes stay).</summary>
        public Dictionary<int, int> NameLengthOverrides = new Dictionary<int, int>();

        public List<BuiltImport> Imports = new List<BuiltImport>();
        public List<BuiltExport> Exports = new List<BuiltExport>();

        // Layout.
        public Table[] TableOrder = { Table.Names, Table.Imports, Table.Exports };
        public byte[] GapAfterSummary = new byte[0];
        public byte[] GapAfterNameTable = new byte[0];
        public byte[] GapAfterImportTable = new byte[0];
        /// <summary>Lies between the export table and the serial data when the export table is last.</summary>
        public byte[] GapAfterExportTable = new byte[0];
        /// <summary>Export indices in the order their serial data is laid out; null: table order.</summary>
        public int[] SerialOrder;
        public byte[] Trailer = new byte[0];
        /// <summary>Cuts the built package to this many bytes.</summary>
        public int? TruncateAt;

        // Filled by Build: where things were put.
        public int SummaryEnd { get; private set; }
        public int NameTableOffset { get; private set; }
        public int NameTableEnd { get; private set; }
        public int ImportTableOffset { get; private set; }
        public int ImportTableEnd { get; private set; }
        public int ExportTableOffset { get; private set; }
        public int ExportTableEnd { get; private set; }
        /// <summary>Where the serial data area begins (after the last table's gap).</summary>
        public int SerialAreaOffset { get; private set; }
        /// <summary>Offset at which the package flags lie (16 + folder name bytes).</summary>
        public int PackageFlagsOffset { get { return 16 + FolderName.Length; } }

        /// <summary>Index of a name, appended when missing.</summary>
        public int NameIndex(string name)
        {
            int i = Names.IndexOf(name);
            if (i >= 0) return i;
            Names.Add(name);
            return Names.Count - 1;
        }

        /// <summary>Adds an import with that object name; returns its reference -(j + 1).</summary>
        public int AddImport(string objectName)
        {
            return AddImportRaw(NameIndex(objectName));
        }

        /// <summary>Adds an import whose object name reference is given whole (64 bits).</summary>
        public int AddImportRaw(long objectNameReference)
        {
            var import = new BuiltImport();
            import.ObjectName = objectNameReference;
            import.Head = Pattern(20, 0x40 + Imports.Count);
            Imports.Add(import);
            return -Imports.Count;
        }

        /// <summary>The reference of the first import named className, added when there is none.</summary>
        public int ImportReference(string className)
        {
            for (int j = 0; j < Imports.Count; j++)
            {
                long r = Imports[j].ObjectName;
                if (r >= 0 && r < Names.Count && Names[(int)r] == className) return -(j + 1);
            }
            return AddImport(className);
        }

        /// <summary>Adds an export of the class imported under that name.</summary>
        public BuiltExport AddExport(string className, byte[] serialData)
        {
            return AddExport(ImportReference(className), serialData);
        }

        public BuiltExport AddExport(int classReference, byte[] serialData)
        {
            var export = new BuiltExport();
            export.ClassReference = classReference;
            export.SerialData = serialData ?? new byte[0];
            export.Unread28 = Pattern(28, 0x80 + Exports.Count);
            export.Unread4 = Pattern(4, 0xA0 + Exports.Count);
            export.Unread20 = Pattern(20, 0xC0 + Exports.Count);
            Exports.Add(export);
            return export;
        }

        /// <summary>
        /// Gives an export its object name (added to the name table), the
        /// name's number and its outer reference (n above 0: export n - 1).
        /// </summary>
        public BuiltExport Name(BuiltExport export, string name, int number = 0, int outer = 0)
        {
            export.ObjectName = NameIndex(name);
            export.ObjectNameNumber = number;
            export.Outer = outer;
            return export;
        }

        /// <summary>Lays the package out and returns its bytes.</summary>
        public byte[] Build()
        {
            SummaryEnd = 44 + FolderName.Length;
            int pos = SummaryEnd + GapAfterSummary.Length;
            foreach (Table t in TableOrder)
            {
                int size = TableBytes(t);
                switch (t)
                {
                    case Table.Names:
                        NameTableOffset = pos; NameTableEnd = pos + size; pos += size + GapAfterNameTable.Length; break;
                    case Table.Imports:
                        ImportTableOffset = pos; ImportTableEnd = pos + size; pos += size + GapAfterImportTable.Length; break;
                    default:
                        ExportTableOffset = pos; ExportTableEnd = pos + size; pos += size + GapAfterExportTable.Length; break;
                }
            }
            SerialAreaOffset = pos;
            foreach (int index in SerialLayoutOrder())
            {
                BuiltExport e = Exports[index];
                pos += e.GapBefore.Length;
                e.SerialOffset = pos;
                pos += e.SerialData.Length;
            }

            var stream = new MemoryStream();
            var w = new BinaryWriter(stream);
            w.Write(Tag);
            w.Write(Version);
            w.Write(HeaderSize ?? SerialAreaOffset);
            w.Write(FolderNameLength ?? FolderName.Length);
            w.Write(FolderName);
            w.Write(PackageFlags);
            w.Write(NameCount ?? Names.Count);
            w.Write(NameOffset ?? NameTableOffset);
            w.Write(ExportCount ?? Exports.Count);
            w.Write(ExportOffset ?? ExportTableOffset);
            w.Write(ImportCount ?? Imports.Count);
            w.Write(ImportOffset ?? ImportTableOffset);
            w.Write(GapAfterSummary);
            foreach (Table t in TableOrder)
            {
                switch (t)
                {
                    case Table.Names: WriteNames(w); w.Write(GapAfterNameTable); break;
                    case Table.Imports: WriteImports(w); w.Write(GapAfterImportTable); break;
                    default: WriteExports(w, (int)stream.Position); w.Write(GapAfterExportTable); break;
                }
            }
            foreach (int index in SerialLayoutOrder())
            {
                w.Write(Exports[index].GapBefore);
                w.Write(Exports[index].SerialData);
            }
            w.Write(Trailer);
            w.Flush();
            byte[] bytes = stream.ToArray();
            if (TruncateAt.HasValue && TruncateAt.Value < bytes.Length)
                Array.Resize(ref bytes, TruncateAt.Value);
            return bytes;
        }

        /// <summary>Writes the package to path and returns its bytes.</summary>
        public byte[] WriteTo(string path)
        {
            byte[] bytes = Build();
            File.WriteAllBytes(path, bytes);
            return bytes;
        }

        /// <summary>Deterministic, mostly non-zero filler bytes.</summary>
        public static byte[] Pattern(int length, int seed)
        {
            var bytes = new byte[length];
            for (int i = 0; i < length; i++) bytes[i] = (byte)(seed * 31 + i * 7 + 1);
            return bytes;
        }

        private byte[] NameBytes(int i)
        {
            byte[] raw;
            if (RawNameBytes.TryGetValue(i, out raw)) return raw;
            return Encoding.UTF8.GetBytes(Names[i] + "\0");
        }

        private int TableBytes(Table t)
        {
            int size = 0;
            switch (t)
            {
                case Table.Names:
                    for (int i = 0; i < Names.Count; i++) size += 12 + NameBytes(i).Length;
                    return size;
                case Table.Imports:
                    return 28 * Imports.Count;
                default:
                    foreach (BuiltExport e in Exports) size += 68 + 4 * e.Values.Length;
                    return size;
            }
        }

        private void WriteNames(BinaryWriter w)
        {
            for (int i = 0; i < Names.Count; i++)
            {
                byte[] bytes = NameBytes(i);
                int length;
                if (!NameLengthOverrides.TryGetValue(i, out length)) length = bytes.Length;
                w.Write(length);
                w.Write(bytes);
                w.Write(Pattern(8, 0x10 + i));
            }
        }

        private void WriteImports(BinaryWriter w)
        {
            foreach (BuiltImport import in Imports)
            {
                w.Write(import.Head);
                w.Write(import.ObjectName);
            }
        }

        private void WriteExports(BinaryWriter w, int start)
        {
            int pos = start;
            foreach (BuiltExport e in Exports)
            {
                e.EntryOffset = pos;
                w.Write(e.ClassReference);
                var unread = (byte[])e.Unread28.Clone();
                if (e.Outer.HasValue) BitConverter.GetBytes(e.Outer.Value).CopyTo(unread, 4);
                if (e.ObjectName.HasValue) BitConverter.GetBytes(e.ObjectName.Value).CopyTo(unread, 8);
                if (e.ObjectNameNumber.HasValue) BitConverter.GetBytes(e.ObjectNameNumber.Value).CopyTo(unread, 12);
                w.Write(unread);
                w.Write(e.SerialSizeOverride ?? e.SerialData.Length);
                w.Write(e.SerialOffsetOverride ?? e.SerialOffset);
                w.Write(e.Unread4);
                w.Write(e.CountOverride ?? e.Values.Length);
                foreach (int v in e.Values) w.Write(v);
                w.Write(e.Unread20);
                pos += 68 + 4 * e.Values.Length;
            }
        }

        private IEnumerable<int> SerialLayoutOrder()
        {
            if (SerialOrder != null) return SerialOrder;
            var order = new List<int>();
            for (int i = 0; i < Exports.Count; i++) order.Add(i);
            return order;
        }
    }

    /// <summary>One import table entry: 20 uninterpreted bytes, then the object name reference.</summary>
    public sealed class BuiltImport
    {
        public byte[] Head;
        public long ObjectName;
    }

    /// <summary>One export: its table entry's fields and its serial data.</summary>
    public sealed class BuiltExport
    {
        public int ClassReference;
        public byte[] SerialData;
        /// <summary>The K values of the entry; K is their number unless <see cref="CountOverride"/> is set.</summary>
        public int[] Values = new int[0];
        public int? SerialSizeOverride, SerialOffsetOverride, CountOverride;
        /// <summary>
        /// The outer reference, object name index and name number (entry
        /// offsets 8, 12 and 16); null leaves Unread28's bytes there.
        /// </summary>
        public int? Outer, ObjectName, ObjectNameNumber;
        /// <summary>Uninterpreted entry bytes: the 28 after the class reference, the 4 after the serial offset, the last 20.</summary>
        public byte[] Unread28, Unread4, Unread20;
        /// <summary>Bytes laid out just before this export's serial data.</summary>
        public byte[] GapBefore = new byte[0];

        // Filled by Build.
        /// <summary>File offset of the entry in the export table.</summary>
        public int EntryOffset;
        /// <summary>File offset at which the serial data was laid out.</summary>
        public int SerialOffset;
        /// <summary>File offset of the entry's serial size field (the serial offset field follows).</summary>
        public int SerialSizeFieldOffset { get { return EntryOffset + 32; } }
    }
}
