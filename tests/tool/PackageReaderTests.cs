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
            return Read(package, ReadingRules.Extraction, out console);
        }

        private static PackageTables ReadForExtraction(PackageBuilder b)
        {
            string console;
            var tables = ReadForExtraction(b.Build(), out console);
            Assert.AreEqual("File: P.upk (6423388)\r\n", console);
            Assert.IsNotNull(tables);
            return tables;
        }

        /// <summary>Reads under rules; console gets the version line and a refusal's line (damage is raised).</summary>
        private static PackageTables Read(byte[] package, ReadingRules rules, out string console)
        {
            string seen = "";
            try
            {
                return PackageReader.Read(package, rules, version => seen += "File: P.upk (" + version + ")\r\n");
            }
            catch (RefusalException e) when (!(e is DamagedPackageException))
            {
                seen += Scrivel.refusalLine(e.Reason, "P.upk", null) + "\r\n";
                return null;
            }
            finally
            {
                console = seen;
            }
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
            // Enough names to fill several of the table's pages.
            for (int i = b.Names.Count; i < 1100; i++) b.NameIndex("n" + i);

            var names = ReadForExtraction(b).NameTable;
            // What a name means to a walk is that of its decoded text, even when met first there.
            Assert.AreEqual(NameTable.MeaningOf("None"), names.Meaning(none2), "meaning before look-up");
            Assert.AreEqual("None", names[b.NameIndex("None")], "one NUL");
            Assert.AreEqual("None", names[none2], "two NULs");
            Assert.AreEqual("\u00E9", names[acute]);
            Assert.AreEqual("\uFFFD", names[bad]);
            Assert.AreEqual("\uFEFFA", names[bom], "no byte-order mark is removed");
            Assert.AreEqual("", names[empty]);
            Assert.AreEqual("A\0B", names[inner], "only trailing NULs go");
            Assert.AreEqual(b.Names.Count, names.Count);
            // Decoded when first looked up, once; only keys 0 to count - 1 are there.
            Assert.AreSame(names[acute], names[acute]);
            string name;
            foreach (long key in new[] { -1L, names.Count, (1L << 32) | 1 })
                Assert.IsFalse(names.ContainsKey(key) || names.TryGetValue(key, out name), "key " + key);
            var values = new List<string>();
            foreach (var entry in names) values.Add(entry.Key + "=" + entry.Value);
            Assert.AreEqual(names.Count, values.Count);
            Assert.AreEqual(acute + "=\u00E9", values[acute]);
            foreach (int key in new[] { 511, 512, 1023, 1024, 1099 })
            {
                Assert.AreEqual("n" + key, values[key].Substring(values[key].IndexOf('=') + 1), "key " + key);
                Assert.AreEqual(NameTable.MeaningOf("n" + key), names.Meaning(key), "key " + key);
            }
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
            Assert.Throws<DamagedPackageException>(() => Read(package, ReadingRules.Import, out console));
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

        [Test]
        public void ExportEntriesCarryTheirOuterNameAndNumberUntested()
        {
            var b = TextPackage();
            var unread = new byte[28];
            BitConverter.GetBytes(3).CopyTo(unread, 4);          // outer: export 2
            BitConverter.GetBytes(999999).CopyTo(unread, 8);     // a name index beyond the table
            BitConverter.GetBytes(-7).CopyTo(unread, 12);        // name number
            b.Exports[0].Unread28 = unread;
            ExportEntry e = ReadForExtraction(b).Exports[0];
            Assert.AreEqual(new[] { 3, 999999, -7 }, new[] { e.OuterReference, e.ObjectNameIndex, e.ObjectNameNumber });
        }

        // ---- Reading for import ----

        /// <summary>
        /// The header of the compiled package as import writes it, with export
        /// k moved to offset 1000 + k and size 10 + k.
        /// </summary>
        private static byte[] ImportHeaderOf(byte[] package)
        {
            string console;
            PackageTables tables = Read(package, ReadingRules.Import, out console);
            Assert.AreEqual("File: P.upk (6423388)\r\n", console, "nothing refused");
            ImportHeader header = ImportHeader.Of(tables);
            for (int k = 0; k < tables.Exports.Count; k++) header.Move(k, 1000 + k, 10 + k);
            var output = new MemoryStream();
            header.WriteTo(output, package);
            Assert.AreEqual(header.End, output.Length);
            return output.ToArray();
        }

        /// <summary>The input up to the first export's data, with each entry's size and offset as ImportHeaderOf moved them.</summary>
        private static byte[] ExpectedImportHeader(PackageBuilder b, byte[] package)
        {
            var expected = new byte[b.Exports[0].SerialOffset];
            Array.Copy(package, expected, expected.Length);
            for (int k = 0; k < b.Exports.Count; k++)
            {
                BitConverter.GetBytes(10 + k).CopyTo(expected, b.Exports[k].SerialSizeFieldOffset);
                BitConverter.GetBytes(1000 + k).CopyTo(expected, b.Exports[k].SerialSizeFieldOffset + 4);
            }
            return expected;
        }

        [Test]
        public void ImportCopiesHeaderAndTablesWithGapsAndMovedEntries()
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

            CollectionAssert.AreEqual(ExpectedImportHeader(b, package), ImportHeaderOf(package));
            string console;
            var t = Read(package, ReadingRules.Import, out console);
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
            CollectionAssert.AreEqual(ExpectedImportHeader(b, package), ImportHeaderOf(package), "the second export's data comes along");
        }

        [Test]
        public void ImportTestsNeitherTagNorFlagsNorTextClasses()
        {
            var b = new PackageBuilder();
            b.Tag = 0x12345678;
            b.PackageFlags = 0x80000000;
            b.AddExport("Texture2D", new byte[8]);
            byte[] package = b.Build();
            CollectionAssert.AreEqual(ExpectedImportHeader(b, package), ImportHeaderOf(package));
        }

        [Test]
        public void ImportRefusesOtherVersionsAfterTheVersionIsRead()
        {
            var b = TextPackage();
            b.Version = 0x0062035D;
            string console;
            Assert.IsNull(Read(b.Build(), ReadingRules.Import, out console));
            Assert.AreEqual("File: P.upk (6423389)\r\nUnsupported Game!\r\n", console);
        }

        /// <summary>Packages that extraction reads and import refuses, with the line import gives.</summary>
        private static IEnumerable<TestCaseData> NotRebuilt()
        {
            const string order = "The file P.upk cannot be compiled: its tables are out of order!\r\n";
            Func<PackageBuilder, PackageBuilder>[] cases =
            {
                b => { b.TableOrder = new[] { PackageBuilder.Table.Imports, PackageBuilder.Table.Names, PackageBuilder.Table.Exports }; return b; },
                b => { b.TableOrder = new[] { PackageBuilder.Table.Names, PackageBuilder.Table.Exports, PackageBuilder.Table.Imports }; return b; },
                b => { b.Exports[0].SerialOffsetOverride = 20; return b; },
                b => { b.ExportCount = 0; return b; },
            };
            for (int i = 0; i < cases.Length; i++)
                yield return new TestCaseData(cases[i], i < 3 ? order : "The file P.upk cannot be compiled: its export table is empty!\r\n")
                    .SetName("NotRebuilt" + i);
        }

        [TestCaseSource("NotRebuilt")]
        public void ImportRefusesWhatItCannotRebuildWithItsReason(Func<PackageBuilder, PackageBuilder> change, string line)
        {
            byte[] package = change(TextPackage()).Build();
            string console;
            Assert.IsNotNull(Read(package, ReadingRules.Extraction, out console), "extraction reads it");
            Assert.IsNull(Read(package, ReadingRules.Import, out console));
            Assert.AreEqual("File: P.upk (6423388)\r\n" + line, console);
        }

        [Test]
        public void ImportRefusesOtherDamage()
        {
            var damaged = new List<PackageBuilder>();
            var b = TextPackage();
            b.FolderNameLength = -1;
            damaged.Add(b);
            b = TextPackage();
            b.Exports[0].CountOverride = -1;
            damaged.Add(b);
            b = TextPackage();
            b.NameLengthOverrides[0] = 1000;
            damaged.Add(b);
            b = TextPackage();
            b.Exports[0].SerialOffsetOverride = 100000;
            damaged.Add(b);
            // An empty table whose offset lies outside the file: extraction
            // never looks at it, import cannot place it.
            b = TextPackage();
            b.ImportCount = 0;
            b.ImportOffset = 999999;
            damaged.Add(b);
            b = TextPackage();
            b.Build();
            b.TruncateAt = b.ExportTableOffset + 40;
            damaged.Add(b);
            foreach (PackageBuilder d in damaged)
            {
                byte[] package = d.Build();
                string console;
                Assert.Throws<DamagedPackageException>(() => Read(package, ReadingRules.Import, out console));
            }
        }

        [Test]
        public void ImportReferencesNameOnlyTheirImports()
        {
            var imports = new ImportNames(new[] { "a", "b" });
            var cases = new Dictionary<int, string>
            {
                { -1, "a" }, { -2, "b" }, { -3, null }, { 0, null }, { 1, null }, { int.MinValue, null }, { int.MaxValue, null },
            };
            foreach (KeyValuePair<int, string> c in cases)
                Assert.AreEqual(c.Value, imports.NameOf(c.Key), "reference " + c.Key);
            Assert.Throws<KeyNotFoundException>(() => { string unused = imports[0]; });
        }

        [Test]
        public void ANameTableFromAnyMapFindsWhatTheMapFinds()
        {
            // Keys inside and outside the dense range, negative ones and
            // ones with an upper half, a gap, and names that mean something
            // to a walk next to ones that differ only in case.
            var map = new Dictionary<long, string>
            {
                { 0, "None" }, { 1, "Text" }, { 3, "text" }, { -1, "StrProperty" }, { 1L << 32, "Subtitles" },
                { 7, "Comment" }, { 2, "ArrayProperty" },
            };
            NameTable table = NameTable.Of(map);
            Assert.AreEqual(map.Count, table.Count);
            CollectionAssert.AreEquivalent(map, table);
            foreach (long key in new[] { 0L, 1, 2, 3, 4, 5, 6, 7, 8, -1, -2, 1L << 32, (1L << 32) + 1, long.MinValue })
            {
                string expected;
                bool found = map.TryGetValue(key, out expected);
                string name;
                Assert.AreEqual(found, table.TryGetValue(key, out name), "key " + key);
                Assert.AreEqual(expected, name, "key " + key);
                if (found) Assert.AreEqual(NameTable.MeaningOf(expected), table.Meaning(key), "key " + key);
            }
            int none = NameTable.MeaningOf("None"), text = NameTable.MeaningOf("Text"), comment = NameTable.MeaningOf("Comment");
            Assert.AreEqual(NameTable.None, none & (NameTable.None | NameTable.Text8 | NameTable.Text16));
            Assert.AreEqual(NameTable.Text8 | NameTable.Text16, text & (NameTable.None | NameTable.Text8 | NameTable.Text16));
            Assert.AreEqual(NameTable.Text8, comment & (NameTable.None | NameTable.Text8 | NameTable.Text16));
            Assert.AreEqual(0, NameTable.MeaningOf("text") & ~(NameTable.Known | (7 << NameTable.KindShift)));
            Assert.AreEqual(NameTable.ArrayRow | (20 << NameTable.FixedShift), NameTable.MeaningOf("Subtitles") & ~(NameTable.Known | (7 << NameTable.KindShift)));
            Assert.AreSame(table, NameTable.Of(table));
        }
    }
}
