using System;
using System.IO;
using System.Text;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    [TestFixture]
    public class DriverTests : FolderFixture
    {
        /// <summary>A package that reads cleanly: one text-class export whose data holds only "None".</summary>
        private static PackageBuilder TextPackage(string className = "SoundNodeWave")
        {
            var b = new PackageBuilder();
            var data = new byte[12];
            b.AddExport(className, data);
            BitConverter.GetBytes(b.NameIndex("None")).CopyTo(data, 4);
            return b;
        }

        private string Write(string name, PackageBuilder b)
        {
            string path = folder.File(name);
            b.WriteTo(path);
            return path;
        }

        private string Write(string name, byte[] bytes)
        {
            string path = folder.File(name);
            File.WriteAllBytes(path, bytes);
            return path;
        }

        private static string Accepted(string name)
        {
            return "File: " + name + " (6423388)\r\nExtracting subtitles:\r\nFile " + name + " without text!\r\n";
        }

        [Test]
        public void NoArgumentsPrintBannerUsageAndDone()
        {
            Assert.AreEqual(ToolRun.Banner + "USAGE: Drag and drop TXT or UPK file(s) on the executable\r\n..DONE..",
                ToolRun.Main());
        }

        [Test]
        public void ArgumentsAreHandledInOrderUnderOneBanner()
        {
            string pack = Write("PACK.UPK", TextPackage());
            string notes = Write("Notes.TXT", new byte[0]);
            string data = Write("data", new byte[] { 1 });
            Assert.AreEqual(ToolRun.Banner
                + Accepted("PACK.UPK")
                + "The file Notes.TXT has zero bytes!\r\n"
                + "The file data is not supported!\r\n"
                + "..DONE..",
                ToolRun.Main(pack, notes, data));
        }

        [Test]
        public void OnlyTheLastExtensionCountsAndMessagesNameTheFileOnly()
        {
            string subs = Write("subs.upk.txt", new byte[0]);
            string doc = Write("menu.doc", new byte[10]);
            string upkTxt = Write("notes.txt.upk", TextPackage("SoundNodeWaveEx"));
            Assert.AreEqual(ToolRun.Banner
                + "The file subs.upk.txt has zero bytes!\r\n"
                + "The file menu.doc is not supported!\r\n"
                + "The file silent is not supported!\r\n"
                + "The file trailingdot. is not supported!\r\n"
                + Accepted("notes.txt.upk")
                + "..DONE..",
                ToolRun.Main(subs, doc, "/silent", folder.File("trailingdot."), upkTxt));
        }

        [Test]
        public void MissingFilesAreNotFoundAndFoldersNotSupported()
        {
            Directory.CreateDirectory(folder.File("dir.upk"));
            Assert.AreEqual(ToolRun.Banner
                + "File gone.upk was not found!\r\n"
                + "File gone.TxT was not found!\r\n"
                + "The file dir.upk is not supported!\r\n"
                + "..DONE..",
                ToolRun.Main(folder.File("gone.upk"), folder.File("gone.TxT"), folder.File("dir.upk") + "/"));
        }

        [Test]
        public void InvalidPathsAreRefusedByName()
        {
            string output = ToolRun.Main("bad\0name.upk", "", folder.File("x.txt") + "\0");
            Assert.AreEqual(ToolRun.Banner
                + "The file bad\0name.upk is not supported!\r\n"
                + "The file  is not supported!\r\n"
                + "The file x.txt\0 is not supported!\r\n"
                + "..DONE..", output);
        }

        [Test]
        public void EmptyPackageIsPassedToExtractionAndRefused()
        {
            string empty = Write("empty.upk", new byte[0]);
            string shortFile = Write("short.upk", new byte[] { 0xC1, 0x83, 0x2A });
            Assert.AreEqual(ToolRun.Banner
                + "The file empty.upk is not supported!\r\n"
                + "The file short.upk is not supported!\r\n..DONE..",
                ToolRun.Main(empty, shortFile));
        }

        [Test]
        public void WrongTagIsNotSupportedWithoutTheFileLine()
        {
            var b = TextPackage();
            b.Tag = 0x9E2A83C2;
            Assert.AreEqual(ToolRun.Banner + "The file tag.upk is not supported!\r\n..DONE..",
                ToolRun.Main(Write("tag.upk", b)));
        }

        [TestCase(0x0062035Du, "6423389")]
        [TestCase(0x0000035Cu, "860")]
        [TestCase(0xFFFFFFFFu, "4294967295")]
        public void OtherVersionsAreNamedThenRefused(uint version, string shown)
        {
            var b = TextPackage();
            b.Version = version;
            Assert.AreEqual(ToolRun.Banner + "File: v.upk (" + shown + ")\r\nUnsupported Game!\r\n..DONE..",
                ToolRun.Main(Write("v.upk", b)));
        }

        [Test]
        public void CompressedPackageIsRefused()
        {
            var b = TextPackage();
            b.PackageFlags = 0x02000000;
            Assert.AreEqual(ToolRun.Banner + "File: c.upk (6423388)\r\nThe file c.upk is compressed!\r\n..DONE..",
                ToolRun.Main(Write("c.upk", b)));
        }

        [Test]
        public void PackageWithoutTextClassIsRefusedBeforeItsExportTable()
        {
            var b = new PackageBuilder();
            b.AddExport("SoundNodeWaveExtra", new byte[4]);
            b.AddImport("soundnodewave");
            b.ExportOffset = -5; // never read
            Assert.AreEqual(ToolRun.Banner + "File: n.upk (6423388)\r\nThere is no text in the file n.upk!\r\n..DONE..",
                ToolRun.Main(Write("n.upk", b)));
        }

        [Test]
        public void EachTextClassAdmitsThePackage()
        {
            string a = Write("a.upk", TextPackage("AttributePresentationDefinition"));
            string w = Write("w.upk", TextPackage("SoundNodeWaveEx"));
            Assert.AreEqual(ToolRun.Banner + Accepted("a.upk") + Accepted("w.upk") + "..DONE..", ToolRun.Main(a, w));
        }

        [Test]
        public void ExportPassDrawsTheBarBeforeEachExport()
        {
            var b = TextPackage();
            b.AddExport("Texture2D", new byte[4]);
            b.AddExport("Texture2D", new byte[4]);
            var terminal = new RecordingTerminal();
            string output = ToolRun.Main(terminal, Write("three.upk", b));
            Assert.AreEqual(ToolRun.Banner + Accepted("three.upk") + "..DONE..", output);
            CollectionAssert.AreEqual(new[] { 33, 66, 100 }, terminal.PercentagesDrawn());
            Assert.AreEqual("|" + new string('\u2592', 31) + "|~100%", terminal.Row(22, 59));
        }

        [Test]
        public void DamageFoundDuringTheExportPassStartsAFreshLine()
        {
            var b = TextPackage();
            b.Exports[0].SerialOffsetOverride = 1 << 20;
            var terminal = new RecordingTerminal();
            Assert.AreEqual(ToolRun.Banner + "File: late.upk (6423388)\r\nExtracting subtitles:\r\nThe file late.upk is damaged!\r\n..DONE..",
                ToolRun.Main(terminal, Write("late.upk", b)));
            Assert.AreEqual("reset", terminal.Calls[terminal.Calls.Count - 1], "colours back before the message");
        }

        [Test]
        public void NoExportsGiveLabelAndLineBreakOnly()
        {
            var b = TextPackage();
            b.Exports.Clear();
            var terminal = new RecordingTerminal();
            Assert.AreEqual(ToolRun.Banner + Accepted("none.upk") + "..DONE..", ToolRun.Main(terminal, Write("none.upk", b)));
            CollectionAssert.IsEmpty(terminal.Calls);
        }

        [Test]
        public void TextFileOfAnyCaseGoesToImport()
        {
            var b = new PackageBuilder();
            var props = new PropertyWriter(b.Names);
            props.Str("Text", "Hi").None();
            b.AddExport("SoundNodeWave", props.ToSerialData());
            Write("Notes.upk", b);
            string notes = Write("Notes.TXT", TextFiles.Of("Hello"));
            Assert.AreEqual(ToolRun.Banner + "Compiling subtitles\r\nFile Notes.clxi compiled successfully!\r\n..DONE..",
                ToolRun.Main(notes));
            CollectionAssert.Contains(folder.FileNames(), "Notes.upk.clxi");
        }

        [Test]
        public void AdditionalDataErrorEndsTheRun()
        {
            var b = new PackageBuilder();
            var props = new PropertyWriter(b.Names);
            props.Str("Text", "Hi").None().AdditionalData(new byte[0]); // no inline data: import cannot rewrite it
            b.AddExport("SoundNodeWave", props.ToSerialData());
            b.AddExport("Texture2D", new byte[4]);
            Write("bad.upk", b);
            string text = Write("bad.txt", TextFiles.Of("Hello"));
            string later = Write("later.doc", new byte[1]);
            Assert.AreEqual(ToolRun.Banner + "Compiling subtitles\r\nSoundnodewave additional data error!\r\n",
                ToolRun.Main(text, later, text));
            CollectionAssert.AreEqual(new[] { "bad.txt", "bad.upk", "later.doc" }, folder.FileNames());
        }

        // ---- Damaged packages: one line, nothing written, the run goes on ----

        private void AssertDamaged(PackageBuilder b)
        {
            string damaged = Write("d.upk", b);
            string next = Write("next.doc", new byte[1]);
            Assert.AreEqual(ToolRun.Banner + "The file d.upk is damaged!\r\nThe file next.doc is not supported!\r\n..DONE..",
                ToolRun.Main(damaged, next).Replace("File: d.upk (6423388)\r\n", ""));
            CollectionAssert.AreEqual(new[] { "d.upk", "next.doc" }, folder.FileNames(), "nothing written");
        }

        [Test]
        public void TruncatedAnywhereIsDamaged()
        {
            var b = TextPackage();
            b.AddImport("Package");
            b.Exports[0].Values = new[] { 1, 2, 3 };
            b.Build();
            int[] cuts =
            {
                6, 14, 30, b.SummaryEnd - 1,
                b.NameTableOffset + 2, b.NameTableOffset + 8, b.NameTableEnd - 1,
                b.ImportTableOffset + 21, b.ImportTableEnd - 1,
                b.ExportTableOffset + 2, b.ExportTableOffset + 40, b.ExportTableOffset + 52, b.ExportTableEnd - 1,
            };
            foreach (int cut in cuts)
            {
                b.TruncateAt = cut;
                AssertDamaged(b);
            }
        }

        [Test]
        public void NegativeLengthsAndCountsAreDamaged()
        {
            var b = TextPackage(); b.FolderNameLength = -2; AssertDamaged(b);
            b = TextPackage(); b.NameCount = -1; AssertDamaged(b);
            b = TextPackage(); b.ImportCount = -1; AssertDamaged(b);
            b = TextPackage(); b.ExportCount = int.MinValue; AssertDamaged(b);
            b = TextPackage(); b.NameLengthOverrides[0] = -1; AssertDamaged(b);
            b = TextPackage(); b.Exports[0].CountOverride = -1; AssertDamaged(b);
            b = TextPackage(); b.Exports[0].CountOverride = 0x40000001; AssertDamaged(b);
        }

        [Test]
        public void TablesOutsideTheFileAreDamaged()
        {
            var b = TextPackage(); b.NameOffset = 1 << 30; AssertDamaged(b);
            b = TextPackage(); b.NameOffset = -12; AssertDamaged(b);
            b = TextPackage(); b.ImportOffset = -1; AssertDamaged(b);
            b = TextPackage(); b.ExportOffset = int.MaxValue; AssertDamaged(b);
            b = TextPackage(); b.NameCount = int.MaxValue; AssertDamaged(b);
            b = TextPackage(); b.ImportCount = 1000000; AssertDamaged(b);
            b = TextPackage(); b.ExportCount = 2; AssertDamaged(b);
            b = TextPackage(); b.FolderNameLength = 1 << 30; AssertDamaged(b);
        }

        /// <summary>A console that has gone away: every write fails, as on a pipe whose reader has exited.</summary>
        private sealed class VanishedConsole : TextWriter
        {
            public int Attempts;
            public override System.Text.Encoding Encoding { get { return System.Text.Encoding.UTF8; } }
            public override void Write(char value) { Attempts++; throw new IOException("Write fault"); }
            public override void Write(string value) { Attempts++; throw new IOException("Write fault"); }
        }

        [Test]
        public void AConsoleThatFailsDoesNotStopTheWork()
        {
            var b = new PackageBuilder();
            var w = new PropertyWriter(b.Names);
            w.Str("Text", "still written").None();
            var data = new byte[4 + w.ToArray().Length];
            w.ToArray().CopyTo(data, 4);
            b.AddExport("SoundNodeWave", data);
            string package = Write("Gone.upk", b);
            var console = new VanishedConsole();
            ConsoleOut.Redirect(console);
            Terminal.Use(new PlainTerminal());
            try
            {
                Assert.DoesNotThrow(() => Scrivel.Main(new[] { package }));
            }
            finally
            {
                ConsoleOut.Redirect(null);
                Terminal.Use(null);
            }
            Assert.AreEqual(1, console.Attempts, "output is dropped after the first failed write");
            var expected = new System.Collections.Generic.List<byte> { 0xFF, 0xFE };
            expected.AddRange(System.Text.Encoding.Unicode.GetBytes("still written\r\n"));
            CollectionAssert.AreEqual(expected, File.ReadAllBytes(folder.File("Gone.txt")));
        }

        /// <summary>A terminal whose drawing fails: a fault of the tool, not of any file.</summary>
        private sealed class FaultyTerminal : ITerminal
        {
            public void Write(string text) { }
            public void MoveToColumn(int column) { throw new InvalidOperationException("drawing fault"); }
            public void SetCursorVisible(bool visible) { }
            public void SetBackground(int colour) { }
            public void ResetColours() { }
        }

        [TestCase(null)]
        [TestCase("1")]
        public void AnInternalFaultIsNamedAsSuchAndTheRunGoesOn(string trace)
        {
            string first = Write("First.upk", TextPackage());
            string second = Write("Second.doc", new byte[1]);
            string saved = Environment.GetEnvironmentVariable("SCRIVEL_TRACE");
            Environment.SetEnvironmentVariable("SCRIVEL_TRACE", trace);
            string console;
            try
            {
                console = ToolRun.Main(new FaultyTerminal(), first, second);
            }
            finally
            {
                Environment.SetEnvironmentVariable("SCRIVEL_TRACE", saved);
            }
            string line = "Extracting subtitles:\r\nThe file First.upk could not be handled because of an internal error!\r\n";
            string after = "The file Second.doc is not supported!\r\n..DONE..";
            StringAssert.Contains(line, console);
            StringAssert.EndsWith(after, console);
            int traceAt = console.IndexOf(line) + line.Length;
            string traced = console.Substring(traceAt, console.Length - after.Length - traceAt);
            if (trace == null)
                Assert.AreEqual("", traced);
            else
                StringAssert.StartsWith("System.InvalidOperationException: drawing fault", traced);
        }
    }
}
