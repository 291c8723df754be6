using System.Collections.Generic;

namespace tool
{
    /// <summary>
    /// Reads a package's summary, name table, import table and export table,
    /// in the two ways the tool needs: for extraction by jumping to each
    /// table's offset, for import by copying every byte up to the first
    /// export's serial data into the new package while reading it.
    /// A package it refuses raises a <see cref="RefusalException"/>; one
    /// whose fields do not fit in its bytes a
    /// <see cref="DamagedPackageException"/>. It prints nothing.
    /// </summary>
    public static class PackageReader
    {
        public const uint Tag = 0x9E2A83C1;
        public const uint SupportedVersion = 0x0062035C;

        // Fixed entry sizes, the smallest a table entry can take.
        private const int NameEntryMinBytes = 12;
        private const int ImportEntryBytes = 28;
        private const int ExportEntryMinBytes = 68;

        /// <summary>
        /// The version of a package that begins with the package tag; any
        /// other file is refused as not supported. Leaves the reader after
        /// the version.
        /// </summary>
        public static uint ReadTaggedVersion(ByteReader upkReader)
        {
            upkReader.Position = 0;
            // A file too short to hold the tag does not begin with it either.
            if (upkReader.Length < 4 || upkReader.ReadUInt32() != Tag)
                throw new RefusalException(Refusal.NotSupported);
            return upkReader.ReadUInt32();
        }

        /// <summary>
        /// Reading for extraction: the tag and version, the compression flag,
        /// then the tables, each found by its offset. A package that imports
        /// no text class is refused before its export table is read.
        /// </summary>
        public static PackageTables ReadForExtraction(ByteReader upkReader)
        {
            uint version = ReadTaggedVersion(upkReader);
            if (version != SupportedVersion)
                throw new RefusalException(Refusal.UnsupportedGame);
            upkReader.Skip(4);
            int folderLength = upkReader.ReadInt32();
            upkReader.Skip(folderLength);
            upkReader.Skip(3);
            byte flagsHigh = upkReader.ReadByte();
            if (flagsHigh != 0x00 && flagsHigh != 0x20)
                throw new RefusalException(Refusal.Compressed);
            var summary = TableLocations.Read(upkReader);

            var tables = new PackageTables();
            tables.Version = version;

            upkReader.Position = RequireTableToRead(upkReader, summary.NameOffset, summary.NameCount, NameEntryMinBytes, "name");
            ReadNameTable(upkReader, tables, summary.NameCount);
            upkReader.Position = RequireTableToRead(upkReader, summary.ImportOffset, summary.ImportCount, ImportEntryBytes, "import");
            ReadImportTable(upkReader, tables, summary.ImportCount);

            if (!ImportsATextClass(tables))
                throw new RefusalException(Refusal.NoText);

            upkReader.Position = RequireTableToRead(upkReader, summary.ExportOffset, summary.ExportCount, ExportEntryMinBytes, "export");
            ReadExportTable(upkReader, tables, summary.ExportCount);
            return tables;
        }

        /// <summary>
        /// Reading for import: copies the package from its start up to the
        /// first export's serial offset into upkWriter (which must be empty),
        /// with every export entry's serial size and offset written as 0 and
        /// the position of its serial size field recorded. Afterwards both
        /// positions stand at the first export's serial offset. Another
        /// version is refused as an unsupported game; the tag
        /// and the package flags are copied without a test. The summary, the
        /// name, import and export tables and the first export's serial data
        /// must follow each other in that order (gaps allowed, and copied);
        /// anything else, or an empty export table, is damage.
        /// </summary>
        public static PackageTables ReadForImport(ByteReader upkReader, ByteWriter upkWriter)
        {
            upkReader.Position = 0;
            upkReader.Skip(4);
            uint version = upkReader.ReadUInt32();
            if (version != SupportedVersion)
                throw new RefusalException(Refusal.UnsupportedGame);
            upkReader.Skip(4);
            int folderLength = upkReader.ReadInt32();
            if (folderLength < 0)
                throw new DamagedPackageException("negative folder name length " + folderLength);
            upkReader.Skip((long)folderLength + 4);
            var summary = TableLocations.Read(upkReader);

            var tables = new PackageTables();
            tables.Version = version;

            MoveForwardTo(upkReader, RequireTable(upkReader, summary.NameOffset, summary.NameCount, NameEntryMinBytes, "name"), "name table");
            ReadNameTable(upkReader, tables, summary.NameCount);
            MoveForwardTo(upkReader, RequireTable(upkReader, summary.ImportOffset, summary.ImportCount, ImportEntryBytes, "import"), "import table");
            ReadImportTable(upkReader, tables, summary.ImportCount);
            if (summary.ExportCount == 0)
                throw new DamagedPackageException("the export table is empty");
            MoveForwardTo(upkReader, RequireTable(upkReader, summary.ExportOffset, summary.ExportCount, ExportEntryMinBytes, "export"), "export table");
            ReadExportTable(upkReader, tables, summary.ExportCount);
            long headerEnd = tables.Exports[0].SerialOffset;
            MoveForwardTo(upkReader, headerEnd, "first export's serial data");

            // The new package's header is the old one, byte for byte, except
            // for the serial size and offset of each entry, which stay 0 until
            // the exports have their final place. Entry positions are the
            // same in both packages.
            upkReader.Position = 0;
            upkWriter.Position = 0;
            upkWriter.CopyFrom(upkReader, headerEnd);
            foreach (ExportEntry entry in tables.Exports)
            {
                upkWriter.Position = entry.EntryPosition;
                upkWriter.WriteInt64(0);
            }
            upkWriter.Position = headerEnd;
            return tables;
        }

        /// <summary>count name entries from the current position into the name table, under keys 0 to count - 1.</summary>
        private static void ReadNameTable(ByteReader upkReader, PackageTables tables, int count)
        {
            // The count has been checked against the file's size: presizing is safe.
            tables.NameTable = new Dictionary<long, string>(count);
            for (int i = 0; i < count; i++)
            {
                tables.NameTable[i] = ReadName(upkReader);
                upkReader.Skip(8);
            }
        }

        /// <summary>count import entries from the current position: import j's object name under -(j + 1).</summary>
        private static void ReadImportTable(ByteReader upkReader, PackageTables tables, int count)
        {
            tables.ImportNames = new Dictionary<int, string>(count);
            for (int j = 0; j < count; j++)
            {
                upkReader.Skip(20);
                AddImportName(tables, j, upkReader.ReadInt64());
            }
        }

        /// <summary>
        /// count export entries from the current position, each with its
        /// class name, serial size, serial offset and the position of its
        /// serial size field.
        /// </summary>
        private static void ReadExportTable(ByteReader upkReader, PackageTables tables, int count)
        {
            tables.Exports = new List<ExportEntry>(count);
            for (int k = 0; k < count; k++)
            {
                var entry = new ExportEntry();
                entry.ClassName = ClassNameOf(tables, upkReader.ReadInt32());
                upkReader.Skip(28);
                entry.EntryPosition = upkReader.Position;
                entry.SerialSize = upkReader.ReadInt32();
                entry.SerialOffset = upkReader.ReadInt32();
                upkReader.Skip(4);
                upkReader.Skip(ReadCount(upkReader, "export entry value") * 4L);
                upkReader.Skip(20);
                tables.Exports.Add(entry);
            }
        }

        /// <summary>
        /// One name table entry from the current position: length N, then N
        /// bytes of 8-bit text. The 8 flag bytes after it are left unread.
        /// </summary>
        private static string ReadName(ByteReader upkReader)
        {
            int length = upkReader.ReadInt32();
            upkReader.Require(length);
            string name = StringValue.DecodeEightBit(upkReader.Data, (int)upkReader.Position, length);
            upkReader.Position += length;
            return name;
        }

        // An object name that is not in the name table (an index beyond it,
        // or a reference whose upper half is not 0) is damage: which exports
        // are of a text class could not be told, on either side.
        private static void AddImportName(PackageTables tables, int index, long objectName)
        {
            string name;
            if (!tables.NameTable.TryGetValue(objectName, out name))
                throw new DamagedPackageException("the object name " + objectName + " of import " + index
                    + " is not in the name table");
            tables.ImportNames[-(index + 1)] = name;
        }

        /// <summary>The class name for a class reference; null for 0, positive or unknown references.</summary>
        private static string ClassNameOf(PackageTables tables, int classReference)
        {
            string name;
            if (classReference < 0 && tables.ImportNames.TryGetValue(classReference, out name)) return name;
            return null;
        }

        private static bool ImportsATextClass(PackageTables tables)
        {
            foreach (string name in tables.ImportNames.Values)
            {
                if (TextClasses.IsExtracted(name)) return true;
            }
            return false;
        }

        private static int ReadCount(ByteReader upkReader, string what)
        {
            long at = upkReader.Position;
            int count = upkReader.ReadInt32();
            if (count < 0)
                throw new DamagedPackageException("negative " + what + " count " + count + " at offset " + at);
            return count;
        }

        /// <summary>
        /// As RequireTable, for extraction, which only moves to a table to
        /// read its entries: a table without entries is never read, so its
        /// offset does not matter.
        /// </summary>
        private static long RequireTableToRead(ByteReader upkReader, int offset, int count, int minEntryBytes, string table)
        {
            return count == 0 ? upkReader.Position : RequireTable(upkReader, offset, count, minEntryBytes, table);
        }

        /// <summary>
        /// Checks that a table of count entries of at least minEntryBytes
        /// each can start at offset, so that a count far beyond the file is
        /// refused before anything is read; returns the offset.
        /// </summary>
        private static long RequireTable(ByteReader upkReader, int offset, int count, int minEntryBytes, string table)
        {
            if (offset < 0 || offset > upkReader.Length || (long)count * minEntryBytes > upkReader.Length - offset)
                throw new DamagedPackageException("the " + table + " table (" + count + " entries at offset " + offset + ") lies outside the file");
            return offset;
        }

        /// <summary>Moves forward to target, which must lie inside the file and not behind the current position.</summary>
        private static void MoveForwardTo(ByteReader upkReader, long target, string part)
        {
            if (target < upkReader.Position)
                throw new DamagedPackageException("the " + part + " at offset " + target + " lies before the end of what precedes it (" + upkReader.Position + ")");
            upkReader.Skip(target - upkReader.Position);
        }

        /// <summary>The six counts and offsets that follow the package flags.</summary>
        private struct TableLocations
        {
            public int NameCount, NameOffset, ExportCount, ExportOffset, ImportCount, ImportOffset;

            public static TableLocations Read(ByteReader upkReader)
            {
                var t = new TableLocations();
                t.NameCount = ReadCount(upkReader, "name");
                t.NameOffset = upkReader.ReadInt32();
                t.ExportCount = ReadCount(upkReader, "export");
                t.ExportOffset = upkReader.ReadInt32();
                t.ImportCount = ReadCount(upkReader, "import");
                t.ImportOffset = upkReader.ReadInt32();
                return t;
            }
        }
    }
}
