using System;
using System.Collections.Generic;
using System.IO;
using System.Text;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    [TestFixture]
    public class PackageReaderTests
    {
        private static byte[] NoneSerial(PackageBuilder b)
        {
            var data = new byte[12];
            BitConverter.GetBytes(b.NameIndex("None")).CopyTo(data, 4);
            return data;
        }

        /// <summary>A package with one import of a text class and one export of it.</summary>
        private static PackageBuilder TextPackage()
        {
            var b = new PackageBuilder();
            b.AddExport("SoundNodeWave", NoneSerial(b));
            return b;
        }

        /// <summary>Reads as extraction does; console gets the version line and a refusal's line.</summary>
        private static PackageTables ReadForExtraction(byte[] package, out string console)
        {
            var reader = new ByteReader(package);
            console = "";
            try
            {
                console = "File: P.upk (" + PackageReader.ReadTaggedVersion(reader) + ")\r\n";
                return PackageReader.ReadForExtraction(reader);
            }
            catch (RefusalException e) when (!(e is DamagedPackageException))
            {
                console += Scrivel.refusalLine(e.Reason, "P.upk", null) + "\r\n";
                return null;
            }
        }

        private static PackageTables ReadForExtraction(PackageBuilder b)
        {
            string console;
            var tables = ReadForExtraction(b.Build(), out console);
            Assert.AreEqual("File: P.upk (6423388)\r\n", console);
            Assert.IsNotNull(tables);
            return tables;
        }

        private static PackageTables ReadForImport(byte[] package, ByteWriter writer, out string console)
        {
            PackageTables tables;
            var reader = new ByteReader(package);
            console = "";
            try
            {
                tables = PackageReader.ReadForImport(reader, writer);
            }
            catch (RefusalException e) when (!(e is DamagedPackageException))
            {
                console = Scrivel.refusalLine(e.Reason, "P.upk", null) + "\r\n";
                return null;
            }
            if (tables != null)
                Assert.AreEqual(reader.Position, writer.Position, "reading and writing stay together");
            return tables;
        }

        // ---- Names ----

        [Test]
        public void NamesAreDecodedAsUtf8WithoutTrailingNuls()
        {
            var b = TextPackage();
            int none2 = b.NameIndex("twonuls");
            b.RawNameBytes[none2] = Encoding.ASCII.GetBytes("None\0\0");
            int acute = b.NameIndex("acute");
            b.RawNameBytes[acute] = new byte[] { 0xC3, 0xA9, 0x00 };
            int bad = b.NameIndex("bad");
            b.RawNameBytes[bad] = new byte[] { 0xE9, 0x00 };
            int bom = b.NameIndex("bom");
            b.RawNameBytes[bom] = new byte[] { 0xEF, 0xBB, 0xBF, 0x41, 0x00 };
            int empty = b.NameIndex("empty");
            b.RawNameBytes[empty] = new byte[0];
            int inner = b.NameIndex("inner");
            b.RawNameBytes[inner] = new byte[] { 0x41, 0x00, 0x42, 0x00 };

            var names = ReadForExtraction(b).NameTable;
            Assert.AreEqual("None", names[b.NameIndex("None")], "one NUL");
            Assert.AreEqual("None", names[none2], "two NULs");
            Assert.AreEqual("\u00E9", names[acute]);
            Assert.AreEqual("\uFFFD", names[bad]);
            Assert.AreEqual("\uFEFFA", names[bom], "no byte-order mark is removed");
            Assert.AreEqual("", names[empty]);
            Assert.AreEqual("A\0B", names[inner], "only trailing NULs go");
            Assert.AreEqual(b.Names.Count, names.Count);
        }

        // ---- Imports and class names ----

        [Test]
        public void ImportsMapToNegativeReferencesAndExportsTakeTheirClassName()
        {
            var b = new PackageBuilder();
            b.AddImport("Package");
            b.AddImport("SoundNodeWave");
            b.AddImport("Texture2D");
            b.AddExport(-2, NoneSerial(b));
            b.AddExport(-3, null);
            b.AddExport(0, null);
            b.AddExport(2, null);
            b.AddExport(-77, null);

            var t = ReadForExtraction(b);
            Assert.AreEqual("Package", t.ImportNames[-1]);
            Assert.AreEqual("SoundNodeWave", t.ImportNames[-2]);
            Assert.AreEqual("Texture2D", t.ImportNames[-3]);
            Assert.AreEqual("SoundNodeWave", t.Exports[0].ClassName);
            Assert.AreEqual("Texture2D", t.Exports[1].ClassName);
            for (int k = 2; k < 5; k++) Assert.IsNull(t.Exports[k].ClassName, "export " + k);
        }

        /// <summary>
        /// An import whose object name is not in the name table (an index
        /// beyond it, or a reference with upper bits set) leaves unknown which
        /// exports hold texts: the package is damaged on both sides.
        /// </summary>
        [TestCase(9999L)]
        [TestCase(-1L)]
        [TestCase((1L << 32) | 3)]
        public void AnImportNameNotInTheNameTableIsDamage(long objectName)
        {
            var b = TextPackage();
            b.AddImportRaw(objectName);
            byte[] package = b.Build();
            string console;
            Assert.Throws<DamagedPackageException>(() => ReadForExtraction(package, out console));
            Assert.Throws<DamagedPackageException>(() => ReadForImport(package, new ByteWriter(16), out console));
        }

        // ---- Export entries ----

        [Test]
        public void ExportEntriesOfEveryLengthFollowEachOther()
        {
            var b = TextPackage();
            b.Exports[0].Values = new[] { 7, 8, 9 };
            b.AddExport("SoundNodeWave", new byte[] { 1, 2, 3, 4, 5 });
            b.AddExport("Texture2D", new byte[20]).Values = new int[0];
            b.SerialOrder = new[] { 2, 1, 0 };
            var t = ReadForExtraction(b);
            Assert.AreEqual(3, t.Exports.Count);
            Assert.AreEqual(80, b.Exports[1].EntryOffset - b.Exports[0].EntryOffset, "K = 3: 80 bytes");
            Assert.AreEqual(68, b.Exports[2].EntryOffset - b.Exports[1].EntryOffset, "K = 0: 68 bytes");
            for (int k = 0; k < 3; k++)
            {
                Assert.AreEqual(b.Exports[k].SerialData.Length, t.Exports[k].SerialSize, "size " + k);
                Assert.AreEqual(b.Exports[k].SerialOffset, t.Exports[k].SerialOffset, "offset " + k);
            }
            Assert.Greater(t.Exports[0].SerialOffset, t.Exports[2].SerialOffset, "data in reverse order");
        }

        [Test]
        public void ExtractionFollowsOffsetsWhateverTheTableOrder()
        {
            var b = TextPackage();
            b.AddExport("SoundNodeWave", new byte[] { 9, 9, 9, 9 });
            b.TableOrder = new[] { PackageBuilder.Table.Exports, PackageBuilder.Table.Names, PackageBuilder.Table.Imports };
            b.GapAfterExportTable = PackageBuilder.Pattern(10, 3);
            var t = ReadForExtraction(b);
            Assert.AreEqual("SoundNodeWave", t.Exports[1].ClassName);
            Assert.AreEqual(4, t.Exports[1].SerialSize);
            Assert.AreEqual(PackageReader.SupportedVersion, t.Version);
        }

        [Test]
        public void FolderNameLengthMovesFlagsAndTables()
        {
            var b = TextPackage();
            b.FolderName = Encoding.ASCII.GetBytes("Abcd\0");
            b.PackageFlags = 0x20FFFFFF;
            byte[] p = b.Build();
            Assert.AreEqual(0x20, p[24], "flags' top byte at 16 + 5 + 3");
            Assert.AreEqual(b.NameTableOffset, BitConverter.ToInt32(p, 29));
            ReadForExtraction(b);
        }

        [TestCase(0x00000000u, true)]
        [TestCase(0x00FFFFFFu, true)]
        [TestCase(0x20FFFFFFu, true)]
        [TestCase(0x02000000u, false)]
        [TestCase(0x80000000u, false)]
        [TestCase(0x21000000u, false)]
        public void OnlyTheTopByteOfTheFlagsMarksCompression(uint flags, bool accepted)
        {
            var b = TextPackage();
            b.PackageFlags = flags;
            string console;
            var t = ReadForExtraction(b.Build(), out console);
            Assert.AreEqual(accepted, t != null);
            Assert.AreEqual("File: P.upk (6423388)\r\n" + (accepted ? "" : "The file P.upk is compressed!\r\n"), console);
        }

        [Test]
        public void ExtractionNeverLooksAtTheOffsetOfAnEmptyTable()
        {
            // No entry is read from a table without entries, so where its
            // offset points does not make the package damaged.
            var noImports = new PackageBuilder();
            noImports.ImportCount = 0;
            noImports.ImportOffset = 999999;
            string console;
            Assert.IsNull(ReadForExtraction(noImports.Build(), out console));
            Assert.AreEqual("File: P.upk (6423388)\r\nThere is no text in the file P.upk!\r\n", console);

            var noExports = TextPackage();
            noExports.ExportCount = 0;
            noExports.ExportOffset = -5;
            var tables = ReadForExtraction(noExports);
            Assert.AreEqual(0, tables.Exports.Count);
        }

        // ---- Reading for import ----

        /// <summary>The input up to the first export's data, with each entry's size and offset zeroed.</summary>
        private static byte[] ExpectedImportHeader(PackageBuilder b, byte[] package)
        {
            var expected = new byte[b.Exports[0].SerialOffset];
            Array.Copy(package, expected, expected.Length);
            foreach (BuiltExport e in b.Exports)
                Array.Clear(expected, e.SerialSizeFieldOffset, 8);
            return expected;
        }

        [Test]
        public void ImportCopiesHeaderAndTablesWithGapsAndZeroedEntries()
        {
            var b = TextPackage();
            b.GapAfterSummary = PackageBuilder.Pattern(16, 1);
            b.GapAfterNameTable = PackageBuilder.Pattern(5, 2);
            b.GapAfterImportTable = PackageBuilder.Pattern(3, 3);
            b.GapAfterExportTable = PackageBuilder.Pattern(11, 4);
            b.Exports[0].Values = new[] { 1, 2 };
            b.AddExport("Texture2D", new byte[] { 5, 5, 5 }).Values = new[] { 3 };
            b.Exports[1].GapBefore = PackageBuilder.Pattern(6, 5);
            byte[] package = b.Build();

            var writer = new ByteWriter();
            string console;
            var t = ReadForImport(package, writer, out console);
            Assert.AreEqual("", console, "nothing printed");
            CollectionAssert.AreEqual(ExpectedImportHeader(b, package), writer.ToArray());
            for (int k = 0; k < 2; k++)
            {
                Assert.AreEqual(b.Exports[k].SerialSizeFieldOffset, t.Exports[k].EntryPosition, "entry position " + k);
                Assert.AreEqual(b.Exports[k].SerialData.Length, t.Exports[k].SerialSize);
                Assert.AreEqual(b.Exports[k].SerialOffset, t.Exports[k].SerialOffset);
            }
            Assert.AreEqual("SoundNodeWave", t.Exports[0].ClassName);
            Assert.AreEqual("Texture2D", t.Exports[1].ClassName);
            Assert.AreEqual("None", t.NameTable[b.NameIndex("None")]);
        }

        [Test]
        public void ImportStopsAtTheFirstTableEntrysDataNotTheLowest()
        {
            var b = TextPackage();
            b.AddExport("Texture2D", new byte[40]);
            b.SerialOrder = new[] { 1, 0 };
            byte[] package = b.Build();
            var writer = new ByteWriter();
            string console;
            ReadForImport(package, writer, out console);
            Assert.AreEqual(b.Exports[0].SerialOffset, writer.Length);
            CollectionAssert.AreEqual(ExpectedImportHeader(b, package), writer.ToArray(), "the second export's data comes along");
        }

        [Test]
        public void ImportTestsNeitherTagNorFlagsNorTextClasses()
        {
            var b = new PackageBuilder();
            b.Tag = 0x12345678;
            b.PackageFlags = 0x80000000;
            b.AddExport("Texture2D", new byte[8]);
            byte[] package = b.Build();
            var writer = new ByteWriter();
            string console;
            Assert.IsNotNull(ReadForImport(package, writer, out console));
            Assert.AreEqual("", console);
            CollectionAssert.AreEqual(ExpectedImportHeader(b, package), writer.ToArray());
        }

        [Test]
        public void ImportRefusesOtherVersionsWithoutTheFileLine()
        {
            var b = TextPackage();
            b.Version = 0x0062035D;
            string console;
            Assert.IsNull(ReadForImport(b.Build(), new ByteWriter(), out console));
            Assert.AreEqual("Unsupported Game!\r\n", console);
        }

        private static void AssertImportDamaged(PackageBuilder b)
        {
            byte[] package = b.Build();
            Assert.Throws<DamagedPackageException>(() =>
                PackageReader.ReadForImport(new ByteReader(package), new ByteWriter()));
        }

        [Test]
        public void ImportRefusesTablesOutOfOrderAsDamage()
        {
            var b = TextPackage();
            b.TableOrder = new[] { PackageBuilder.Table.Imports, PackageBuilder.Table.Names, PackageBuilder.Table.Exports };
            AssertImportDamaged(b);

            b = TextPackage();
            b.TableOrder = new[] { PackageBuilder.Table.Names, PackageBuilder.Table.Exports, PackageBuilder.Table.Imports };
            AssertImportDamaged(b);

            b = TextPackage();
            b.Exports[0].SerialOffsetOverride = 20;
            AssertImportDamaged(b);
        }

        [Test]
        public void ImportRefusesOtherDamage()
        {
            var b = TextPackage();
            b.ExportCount = 0;
            AssertImportDamaged(b);

            b = TextPackage();
            b.FolderNameLength = -1;
            AssertImportDamaged(b);

            b = TextPackage();
            b.Exports[0].CountOverride = -1;
            AssertImportDamaged(b);

            b = TextPackage();
            b.NameLengthOverrides[0] = 1000;
            AssertImportDamaged(b);

            b = TextPackage();
            b.Exports[0].SerialOffsetOverride = 100000;
            AssertImportDamaged(b);

            b = TextPackage();
            b.Build();
            b.TruncateAt = b.ExportTableOffset + 40;
            AssertImportDamaged(b);
        }
    }
}
