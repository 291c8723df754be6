// Reads a package's summary, name, import and export tables, once, under one set of rules for both sides.
using System;
using System.Collections.Generic;

namespace tool
{
    /// <summary>
    /// Reads a package's summary and its name, import and export tables,
    /// each found by its offset, into a <see cref="PackageTables"/>. Every
    /// read is bounds-checked on both sides; what only one side checks is
    /// said by the <see cref="ReadingRules"/> it is given. A package it
    /// refuses raises a <see cref="RefusalException"/>; one whose fields do
    /// not fit in its bytes a <see cref="DamagedPackageException"/>. It
    /// prints nothing.
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
        /// Reads the package's bytes under rules. versionRead, when given,
        /// is told the version as soon as it is read: after the tag passed
        /// (where rules test it) and before the version is tested.
        /// </summary>
        public static PackageTables Read(byte[] package, ReadingRules rules, Action<uint> versionRead = null)
        {
            var upkReader = new ByteReader(package);
            // A file too short to hold the tag does not begin with it either.
            bool tagged = upkReader.Length >= 4 && upkReader.ReadUInt32() == Tag;
            if (rules.TestsTag && !tagged)
                throw new RefusalException(Refusal.NotSupported);
            upkReader.Position = 4;
            uint version = upkReader.ReadUInt32();
            if (versionRead != null) versionRead(version);
            if (version != SupportedVersion)
                throw new RefusalException(Refusal.UnsupportedGame);

            upkReader.Skip(4); // header size
            int folderLength = upkReader.ReadInt32();
            upkReader.Skip(folderLength);
            upkReader.Skip(3);
            byte flagsHigh = upkReader.ReadByte();
            if (rules.TestsCompression && flagsHigh != 0x00 && flagsHigh != 0x20)
                throw new RefusalException(Refusal.Compressed);
            var summary = TableLocations.Read(upkReader);
            long summaryEnd = upkReader.Position;

            MoveToTable(upkReader, summary.NameOffset, summary.NameCount, NameEntryMinBytes, "name");
            var nameTable = ReadNameTable(upkReader, summary.NameCount);
            long nameEnd = summary.NameCount == 0 ? summary.NameOffset : upkReader.Position;

            MoveToTable(upkReader, summary.ImportOffset, summary.ImportCount, ImportEntryBytes, "import");
            var importNames = ReadImportTable(upkReader, nameTable, summary.ImportCount);
            long importEnd = summary.ImportCount == 0 ? summary.ImportOffset : upkReader.Position;
            if (rules.RequiresTextClass && !ImportsATextClass(importNames))
                throw new RefusalException(Refusal.NoText);
            if (rules.RequiresExports && summary.ExportCount == 0)
                throw new RefusalException(Refusal.NoExports);

            MoveToTable(upkReader, summary.ExportOffset, summary.ExportCount, ExportEntryMinBytes, "export");
            var exports = ReadExportTable(upkReader, importNames, summary.ExportCount);
            if (rules.RequiresTableOrder)
            {
                long at = InOrder(summaryEnd, summary.NameOffset, nameEnd, "name table", package.Length);
                at = InOrder(at, summary.ImportOffset, importEnd, "import table", package.Length);
                at = InOrder(at, summary.ExportOffset, upkReader.Position, "export table", package.Length);
                InOrder(at, exports[0].SerialOffset, 0, "first export's serial data", package.Length);
            }
            return new PackageTables(rules, version, nameTable, importNames, exports);
        }

        /// <summary>count name entries from the current position, under keys 0 to count - 1.</summary>
        private static NameTable ReadNameTable(ByteReader upkReader, int count)
        {
            // The count has been checked against the file's size: presizing is safe.
            var starts = new int[count];
            for (int i = 0; i < count; i++)
            {
                int length = upkReader.ReadInt32();
                upkReader.Require(length);
                starts[i] = (int)upkReader.Position;
                upkReader.Position += length;
                upkReader.Skip(8);
            }
            return new NameTable(upkReader.Data, starts);
        }

        /// <summary>count import entries from the current position: import j's object name under -(j + 1).</summary>
        private static ImportNames ReadImportTable(ByteReader upkReader, NameTable nameTable, int count)
        {
            var importNames = new string[count];
            for (int j = 0; j < count; j++)
            {
                upkReader.Skip(20);
                long objectName = upkReader.ReadInt64();
                // An object name that is not in the name table (an index
                // beyond it, or a reference whose upper half is not 0) is
                // damage: which exports are of a text class could not be told.
                string name = nameTable.NameAt(objectName);
                if (name == null)
                    throw new DamagedPackageException("the object name " + objectName + " of import " + j
                        + " is not in the name table");
                importNames[j] = name;
            }
            return new ImportNames(importNames);
        }

        /// <summary>count export entries from the current position.</summary>
        private static List<ExportEntry> ReadExportTable(ByteReader upkReader, ImportNames importNames, int count)
        {
            var exports = new List<ExportEntry>(count);
            for (int k = 0; k < count; k++)
            {
                string className = ClassNameOf(importNames, upkReader.ReadInt32());
                upkReader.Require(28);
                upkReader.Skip(4); // super
                int outer = upkReader.ReadInt32();
                int objectName = upkReader.ReadInt32();
                int nameNumber = upkReader.ReadInt32();
                upkReader.Skip(12);
                long entryPosition = upkReader.Position;
                int serialSize = upkReader.ReadInt32();
                int serialOffset = upkReader.ReadInt32();
                upkReader.Skip(4);
                upkReader.Skip(ReadCount(upkReader, "export entry value") * 4L);
                upkReader.Skip(20);
                exports.Add(new ExportEntry(className, outer, objectName, nameNumber, entryPosition, serialSize, serialOffset));
            }
            return exports;
        }

        /// <summary>The class name for a class reference; null for 0, positive or unknown references.</summary>
        private static string ClassNameOf(ImportNames importNames, int classReference)
        {
            return importNames.NameOf(classReference);
        }

        private static bool ImportsATextClass(ImportNames importNames)
        {
            return importNames.Any(TextClasses.IsExtracted);
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
        /// Moves to a table of count entries of at least minEntryBytes each,
        /// which must fit in the file from offset on, so that a count far
        /// beyond the file is refused before anything is read. A table
        /// without entries is never read, so its offset is not looked at.
        /// </summary>
        private static void MoveToTable(ByteReader upkReader, int offset, int count, int minEntryBytes, string table)
        {
            if (count == 0) return;
            if (offset < 0 || offset > upkReader.Length || (long)count * minEntryBytes > upkReader.Length - offset)
                throw new DamagedPackageException("the " + table + " table (" + count + " entries at offset " + offset + ") lies outside the file");
            upkReader.Position = offset;
        }

        /// <summary>
        /// A part of the package (a table, the first export's data) that must
        /// start at or after before, the end of the part before it, and ends
        /// at end; returns that end. A part that starts outside the file is
        /// damage; one that starts before the end of the one before is out of
        /// order, which only import refuses.
        /// </summary>
        private static long InOrder(long before, long start, long end, string part, long fileLength)
        {
            if (start < 0 || start > fileLength)
                throw new DamagedPackageException("the " + part + " at offset " + start + " lies outside the file");
            if (start < before)
                throw new RefusalException(Refusal.TablesOutOfOrder, "the " + part + " at offset " + start
                    + " lies before the end of what precedes it (" + before + ")");
            return end;
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
