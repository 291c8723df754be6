using System.Collections.Generic;

namespace tool
{
    /// <summary>
    /// Reads a package's summary, name table, import table and export table,
    /// in the two ways the tool needs: for extraction by jumping to each
    /// table's offset, for import by copying every byte up to the first
    /// export's serial data into the new package while reading it.
    /// Both return null after printing a refusal and throw
    /// <see cref="DamagedPackageException"/> for a package whose fields do
    /// not fit in its bytes.
    /// </summary>
    public static class PackageReader
    {
        public const uint Tag = 0x9E2A83C1;
        public const uint SupportedVersion = 0x0062035C;

        // Fixed entry sizes, the smallest a table entry can take.
        private const int NameEntryMinBytes = 12;
        private const int ImportEntryBytes = 28;
        private const int ExportEntryMinBytes = 68;

        /// <summary>The export classes whose texts extraction writes.</summary>
        public static readonly string[] ExtractionTextClasses =
            { "SoundNodeWave", "AttributePresentationDefinition", "SoundNodeWaveEx" };

        /// <summary>
        /// Reading for extraction. Prints "File: name (version)" and, for a
        /// package it refuses, the reason; returns the tables otherwise.
        /// </summary>
        public static PackageTables ReadForExtraction(ByteReader upkReader, string fileName)
        {
            upkReader.Position = 0;
            // A file too short to hold the tag does not begin with it either.
            if (upkReader.Length < 4 || upkReader.ReadUInt32() != Tag)
            {
                ConsoleOut.WriteLine(string.Format(Messages.NotSupported, fileName));
                return null;
            }
            uint version = upkReader.ReadUInt32();
            ConsoleOut.WriteLine(string.Format(Messages.FileVersion, fileName, version));
            if (version != SupportedVersion)
            {
                ConsoleOut.WriteLine(Messages.UnsupportedGame);
                return null;
            }
            upkReader.Skip(4);
            int folderLength = upkReader.ReadInt32();
            upkReader.Skip(folderLength);
            upkReader.Skip(3);
            byte flagsHigh = upkReader.ReadByte();
            if (flagsHigh != 0x00 && flagsHigh != 0x20)
            {
                ConsoleOut.WriteLine(string.Format(Messages.Compressed, fileName));
                return null;
            }
            var summary = TableLocations.Read(upkReader);

            var tables = new PackageTables();
            tables.Version = version;

            upkReader.Position = RequireTable(upkReader, summary.NameOffset, summary.NameCount, NameEntryMinBytes, "name");
            for (int i = 0; i < summary.NameCount; i++)
            {
                tables.NameTable[i] = ReadName(upkReader);
                upkReader.Skip(8);
            }

            upkReader.Position = RequireTable(upkReader, summary.ImportOffset, summary.ImportCount, ImportEntryBytes, "import");
            for (int j = 0; j < summary.ImportCount; j++)
            {
                upkReader.Skip(20);
                AddImportName(tables, j, upkReader.ReadInt64());
            }

            if (!HasImportNamed(tables, ExtractionTextClasses))
            {
                ConsoleOut.WriteLine(string.Format(Messages.NoText, fileName));
                return null;
            }

            upkReader.Position = RequireTable(upkReader, summary.ExportOffset, summary.ExportCount, ExportEntryMinBytes, "export");
            for (int k = 0; k < summary.ExportCount; k++)
            {
                var entry = new ExportEntry();
                entry.ClassName = ClassNameOf(tables, upkReader.ReadInt32());
                upkReader.Skip(28);
                entry.SerialSize = upkReader.ReadInt32();
                entry.SerialOffset = upkReader.ReadInt32();
                upkReader.Skip(4);
                upkReader.Skip(ReadCount(upkReader, "export entry value") * 4L);
                upkReader.Skip(20);
                tables.Exports.Add(entry);
            }
            return tables;
        }

        /// <summary>
        /// Reading for import: copies the package from its start up to the
        /// first export's serial offset into upkWriter (which must be empty),
        /// with every export entry's serial size and offset written as 0 and
        /// the position of its serial size field recorded. Afterwards both
        /// positions stand at the first export's serial offset. Prints
        /// "Unsupported Game!" and returns null for another version; the tag
        /// and the package flags are copied without a test. Tables out of
        /// order or an empty export table are damage.
        /// </summary>
        public static PackageTables ReadForImport(ByteReader upkReader, ByteWriter upkWriter, string fileName)
        {
            upkReader.Position = 0;
            upkWriter.Position = 0;
            upkWriter.CopyFrom(upkReader, 4);
            uint version = upkReader.ReadUInt32();
            if (version != SupportedVersion)
            {
                ConsoleOut.WriteLine(Messages.UnsupportedGame);
                return null;
            }
            upkWriter.WriteUInt32(version);
            upkWriter.CopyFrom(upkReader, 4);
            int folderLength = upkReader.ReadInt32();
            if (folderLength < 0)
                throw new DamagedPackageException("negative folder name length " + folderLength);
            upkWriter.WriteInt32(folderLength);
            upkWriter.CopyFrom(upkReader, (long)folderLength + 4);
            long summaryStart = upkReader.Position;
            var summary = TableLocations.Read(upkReader);
            upkReader.Position = summaryStart;
            upkWriter.CopyFrom(upkReader, TableLocations.Bytes);

            var tables = new PackageTables();
            tables.Version = version;

            CopyUpTo(upkReader, upkWriter, RequireTable(upkReader, summary.NameOffset, summary.NameCount, NameEntryMinBytes, "name"), "name");
            for (int i = 0; i < summary.NameCount; i++)
            {
                long start = upkReader.Position;
                tables.NameTable[i] = ReadName(upkReader);
                long end = upkReader.Position;
                upkReader.Position = start;
                upkWriter.CopyFrom(upkReader, end - start + 8);
            }

            CopyUpTo(upkReader, upkWriter, RequireTable(upkReader, summary.ImportOffset, summary.ImportCount, ImportEntryBytes, "import"), "import");
            for (int j = 0; j < summary.ImportCount; j++)
            {
                upkWriter.CopyFrom(upkReader, 20);
                long objectName = upkReader.ReadInt64();
                upkWriter.WriteInt64(objectName);
                AddImportName(tables, j, objectName);
            }

            if (summary.ExportCount == 0)
                throw new DamagedPackageException("the export table is empty");
            CopyUpTo(upkReader, upkWriter, RequireTable(upkReader, summary.ExportOffset, summary.ExportCount, ExportEntryMinBytes, "export"), "export");
            for (int k = 0; k < summary.ExportCount; k++)
            {
                var entry = new ExportEntry();
                int classReference = upkReader.ReadInt32();
                upkWriter.WriteInt32(classReference);
                entry.ClassName = ClassNameOf(tables, classReference);
                upkWriter.CopyFrom(upkReader, 28);
                entry.EntryPosition = upkWriter.Position;
                entry.SerialSize = upkReader.ReadInt32();
                entry.SerialOffset = upkReader.ReadInt32();
                upkWriter.WriteInt32(0);
                upkWriter.WriteInt32(0);
                upkWriter.CopyFrom(upkReader, 4);
                int valueCount = ReadCount(upkReader, "export entry value");
                upkWriter.WriteInt32(valueCount);
                upkWriter.CopyFrom(upkReader, valueCount * 4L);
                upkWriter.CopyFrom(upkReader, 20);
                tables.Exports.Add(entry);
            }

            CopyUpTo(upkReader, upkWriter, tables.Exports[0].SerialOffset, "first export's serial data");
            return tables;
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

        // An object name that is not in the name table leaves the import
        // without a name: no export whose class it is counts as a text class.
        private static void AddImportName(PackageTables tables, int index, long objectName)
        {
            string name;
            if (tables.NameTable.TryGetValue(objectName, out name))
                tables.ImportNames[-(index + 1)] = name;
        }

        /// <summary>The class name for a class reference; null for 0, positive or unknown references.</summary>
        private static string ClassNameOf(PackageTables tables, int classReference)
        {
            string name;
            if (classReference < 0 && tables.ImportNames.TryGetValue(classReference, out name)) return name;
            return null;
        }

        private static bool HasImportNamed(PackageTables tables, string[] classNames)
        {
            foreach (string name in tables.ImportNames.Values)
            {
                foreach (string className in classNames)
                {
                    if (name == className) return true;
                }
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

        /// <summary>Copies the bytes from the current position up to target, which must not lie behind it.</summary>
        private static void CopyUpTo(ByteReader upkReader, ByteWriter upkWriter, long target, string part)
        {
            if (target < upkReader.Position)
                throw new DamagedPackageException("the " + part + " at offset " + target + " lies before the end of what precedes it (" + upkReader.Position + ")");
            upkWriter.CopyFrom(upkReader, target - upkReader.Position);
        }

        /// <summary>The six counts and offsets that follow the package flags.</summary>
        private struct TableLocations
        {
            public const int Bytes = 24;
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
