using System;
using System.Collections.Generic;
using System.IO;
using System.Text;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    /// <summary>
    /// Extraction of whole packages through the tool's entry point: the text
    /// file's exact bytes and the exact console output.
    /// </summary>
    [TestFixture]
    public class ExtractionTests : FolderFixture
    {
        private const string Version = " (6423388)";
        private const string Label = "Extracting subtitles:";

        /// <summary>What Main prints for the given lines between banner and closing mark.</summary>
        private static string Output(params string[] lines)
        {
            var s = new StringBuilder(ToolRun.Banner);
            foreach (string line in lines) s.Append(line).Append("\r\n");
            return s.Append("..DONE..").ToString();
        }

        /// <summary>A text file as written: FF FE, then each line in UTF-16LE with CR LF.</summary>
        private static byte[] TextFileBytes(params string[] lines)
        {
            var body = new StringBuilder();
            foreach (string line in lines) body.Append(line).Append("\r\n");
            var bytes = new List<byte> { 0xFF, 0xFE };
            bytes.AddRange(Encoding.Unicode.GetBytes(body.ToString()));
            return bytes.ToArray();
        }

        private static PropertyWriter Props(PackageBuilder b)
        {
            return new PropertyWriter(b.Names);
        }

        [Test]
        public void TextsOfTheThreeClassesGoToTheTextFileInTableOrder()
        {
            var b = new PackageBuilder();
            b.AddExport("SoundNodeWave", Props(b)
                .Str("SpokenText", "Halt!").StrUtf16("Text", "Who goes\nthere?").Int("Id", 1).None()
                .AdditionalData(new byte[] { 9, 8, 7 }).ToSerialData());
            // Another class holding a text: never read.
            b.AddExport("TextureMovie", Props(b).Str("Text", "not a subtitle").None().ToSerialData());
            b.AddExport("AttributePresentationDefinition", Props(b)
                .Str("Description", "Strength").StrUtf16("Comment", "wide comment, not collected")
                .StrUtf16("Text", "\u0421\u0438\u043B\u0430").None().ToSerialData());
            b.AddExport("SoundNodeWaveEx", Props(b).Str("Comment", "ex").None().ToSerialData());
            b.WriteTo(folder.File("Voice.upk"));
            var terminal = new RecordingTerminal();

            string output = ToolRun.Main(terminal, folder.File("Voice.upk"));

            Assert.AreEqual(Output("File: Voice.upk" + Version, Label,
                "Text File Voice.upk successfully extracted!"), output);
            CollectionAssert.AreEqual(new[] { 25, 50, 75, 100 }, terminal.PercentagesDrawn());
            CollectionAssert.AreEqual(
                TextFileBytes("Halt!", "Who goes{\\n}there?", "Strength", "\u0421\u0438\u043B\u0430", "ex"),
                File.ReadAllBytes(folder.File("Voice.txt")));
            CollectionAssert.AreEqual(new[] { "Voice.txt", "Voice.upk" }, folder.FileNames(), "no temporary file is left");
        }

        [Test]
        public void OnlySoundNodeWaveExExportsAreExtractedLikeTheOthers()
        {
            var b = new PackageBuilder();
            b.AddExport("SoundNodeWaveEx", Props(b).StrUtf16("Text", "Hi").Str("Comment", "").None().ToSerialData());
            b.WriteTo(folder.File("ex.upk"));
            Assert.AreEqual(Output("File: ex.upk" + Version, Label, "Text File ex.upk successfully extracted!"),
                ToolRun.Main(folder.File("ex.upk")));
            CollectionAssert.AreEqual(new byte[] { 0xFF, 0xFE, 0x48, 0, 0x69, 0, 0x0D, 0, 0x0A, 0, 0x0D, 0, 0x0A, 0 },
                File.ReadAllBytes(folder.File("ex.txt")));
        }

        [Test]
        public void LinesFollowTheTableOrderWhateverTheSerialDataOrder()
        {
            var b = new PackageBuilder();
            b.AddExport("SoundNodeWave", Props(b).Str("Text", "first").None().ToSerialData());
            b.AddExport("SoundNodeWave", Props(b).Str("Text", "second").None().ToSerialData());
            b.AddExport("SoundNodeWave", Props(b).Str("Text", "third").None().ToSerialData());
            b.SerialOrder = new[] { 2, 0, 1 };
            b.WriteTo(folder.File("o.upk"));
            ToolRun.Main(folder.File("o.upk"));
            Assert.Greater(b.Exports[0].SerialOffset, b.Exports[2].SerialOffset);
            CollectionAssert.AreEqual(TextFileBytes("first", "second", "third"), File.ReadAllBytes(folder.File("o.txt")));
        }

        [Test]
        public void ClassNamesAreComparedExactly()
        {
            var b = new PackageBuilder();
            b.AddImport("SoundNodeWave");
            b.AddExport("soundnodewave", Props(b).Str("Text", "a").None().ToSerialData());
            b.AddExport("SoundNodeWaveEX", Props(b).Str("Text", "b").None().ToSerialData());
            b.WriteTo(folder.File("case.upk"));
            Assert.AreEqual(Output("File: case.upk" + Version, Label, "File case.upk without text!"),
                ToolRun.Main(folder.File("case.upk")));
            Assert.IsFalse(File.Exists(folder.File("case.txt")));
        }

        [Test]
        public void PackageWithoutTextWritesNoFileAndLeavesAnOldOneAlone()
        {
            var b = new PackageBuilder();
            b.AddExport("SoundNodeWave", Props(b).StrUtf16("SpokenText", "wide").StrRaw("Text", 0, new byte[0]).None().ToSerialData());
            b.WriteTo(folder.File("quiet.upk"));
            var old = new byte[] { 1, 2, 3 };
            File.WriteAllBytes(folder.File("quiet.txt"), old);
            Assert.AreEqual(Output("File: quiet.upk" + Version, Label, "File quiet.upk without text!"),
                ToolRun.Main(folder.File("quiet.upk")));
            CollectionAssert.AreEqual(old, File.ReadAllBytes(folder.File("quiet.txt")));
        }

        [Test]
        public void NoExportsGiveTheLabelThenTheLineBreak()
        {
            var b = new PackageBuilder();
            b.AddImport("AttributePresentationDefinition");
            b.WriteTo(folder.File("empty.upk"));
            var terminal = new RecordingTerminal();
            Assert.AreEqual(Output("File: empty.upk" + Version, Label, "File empty.upk without text!"),
                ToolRun.Main(terminal, folder.File("empty.upk")));
            Assert.AreEqual(0, terminal.PercentagesDrawn().Count);
        }

        [Test]
        public void ExistingTextFileIsReplacedAndNamedAfterTheLastExtension()
        {
            var b = new PackageBuilder();
            b.AddExport("SoundNodeWave", Props(b).Str("Text", "new").None().ToSerialData());
            b.WriteTo(folder.File("Menu.v2.UPK"));
            File.WriteAllBytes(folder.File("Menu.v2.txt"), new byte[200]);
            Assert.AreEqual(Output("File: Menu.v2.UPK" + Version, Label, "Text File Menu.v2.UPK successfully extracted!"),
                ToolRun.Main(folder.File("Menu.v2.UPK")));
            CollectionAssert.AreEqual(TextFileBytes("new"), File.ReadAllBytes(folder.File("Menu.v2.txt")));
        }

        [Test]
        public void CarriageReturnsAreWrittenAndWarnedAboutAfterTheProgressLine()
        {
            var b = new PackageBuilder();
            b.AddExport("SoundNodeWave", Props(b)
                .Str("Text", "fine").StrUtf16("Text", "two\r\nparts").Str("Comment", "also\nfine")
                .Str("Description", "lone\rreturn").None().ToSerialData());
            b.WriteTo(folder.File("cr.upk"));
            Assert.AreEqual(Output("File: cr.upk" + Version, Label,
                "Warning: line 2 of cr.txt holds a carriage return, which the text file cannot carry.",
                "Warning: line 4 of cr.txt holds a carriage return, which the text file cannot carry.",
                "Text File cr.upk successfully extracted!"), ToolRun.Main(folder.File("cr.upk")));
            CollectionAssert.AreEqual(TextFileBytes("fine", "two\r{\\n}parts", "also{\\n}fine", "lone\rreturn"),
                File.ReadAllBytes(folder.File("cr.txt")));
        }

        [Test]
        public void WalkErrorsGiveFileOffsetsAndTheTextsAroundThemAreKept()
        {
            var b = new PackageBuilder();
            b.AddExport("SoundNodeWave", Props(b).Str("Text", "zero").None().ToSerialData());
            var props = Props(b).Str("Text", "before");
            long unknownIndexAt = 4 + props.Length;
            props.Int32(123456);
            long typeReferenceAt = 4 + props.Length + 8;
            props.TagRaw(props.NameIndex("Text"), 0, 654321).Str("Text", "not reached");
            b.AddExport("SoundNodeWave", props.ToSerialData());
            b.AddExport("SoundNodeWave", Props(b).Str("Text", "after").None().ToSerialData());
            b.WriteTo(folder.File("err.upk"));

            string output = ToolRun.Main(folder.File("err.upk"));

            long serial = b.Exports[1].SerialOffset;
            Assert.AreEqual(Output("File: err.upk" + Version,
                Label + "Error: " + (serial + unknownIndexAt - 4),
                "Error: " + (serial + typeReferenceAt),
                "", "Text File err.upk successfully extracted!"), output);
            CollectionAssert.AreEqual(TextFileBytes("zero", "before", "after"), File.ReadAllBytes(folder.File("err.txt")));
        }

        [Test]
        public void SubtitleArraysAfterAnEnumByteAreExtracted()
        {
            var b = new PackageBuilder();
            b.AddExport("SoundNodeWave", Props(b)
                .ByteEnum("Gender", "EGender", "EGender_Female")
                .Array("LocalizedSubtitles", 2, l => l
                    .Str("LanguageExt", "INT")
                    .Array("Subtitles", 2, s => s
                        .StrUtf16("Text", "One.").Float("Time", 0f).None()
                        .StrUtf16("Text", "Two.").Float("Time", 2f).None())
                    .None()
                    .Str("LanguageExt", "FRA")
                    .ArrayWithSize("Subtitles", 4, 0, new byte[0])
                    .None())
                .ByteEnum("Slot", "ESlot", "ESlot_Face").NameProp("SkeletalMeshFragmentName", "Face")
                .StructTags("Info", "SpeechInfo", s => s.Str("Description", "in a struct").None())
                .Struct16("Offset", "Vector4", new byte[16])
                .Str("SpokenText", "end").None()
                .AdditionalData(new byte[40]).ToSerialData());
            b.WriteTo(folder.File("subs.upk"));
            Assert.AreEqual(Output("File: subs.upk" + Version, Label, "Text File subs.upk successfully extracted!"),
                ToolRun.Main(folder.File("subs.upk")));
            CollectionAssert.AreEqual(TextFileBytes("One.", "Two.", "in a struct", "end"),
                File.ReadAllBytes(folder.File("subs.txt")));
        }

        // ---- damaged packages -------------------------------------------

        public static IEnumerable<TestCaseData> DamagedPackages()
        {
            yield return new TestCaseData("serial offset beyond the file",
                (Action<PackageBuilder>)(b => b.Exports[0].SerialOffsetOverride = 1 << 20));
            yield return new TestCaseData("negative serial offset",
                (Action<PackageBuilder>)(b => b.Exports[0].SerialOffsetOverride = -8));
            yield return new TestCaseData("serial size beyond the file",
                (Action<PackageBuilder>)(b => b.Exports[0].SerialSizeOverride = 1 << 20));
            yield return new TestCaseData("negative serial size",
                (Action<PackageBuilder>)(b => b.Exports[0].SerialSizeOverride = -1));
            yield return new TestCaseData("string longer than the data",
                (Action<PackageBuilder>)(b => b.Exports[0].SerialData = Props(b)
                    .StrRaw("Text", 5000, new byte[] { 0x41, 0 }).ToSerialData()));
            yield return new TestCaseData("negative array size",
                (Action<PackageBuilder>)(b => b.Exports[0].SerialData = Props(b)
                    .Str("Text", "a").ArrayRaw("Lines", -28, new byte[40]).ToSerialData()));
            yield return new TestCaseData("negative inline data count",
                (Action<PackageBuilder>)(b => b.Exports[0].SerialData = Props(b)
                    .Str("Text", "a").None().BulkRecord(0, 0, 0, 0).BulkRecord(0, -32, 0, 0).Zeros(64).ToSerialData()));
            yield return new TestCaseData("package cut inside the serial data",
                (Action<PackageBuilder>)(b => b.TruncateAt = 1));
        }

        [TestCaseSource("DamagedPackages")]
        public void DamagedPackageWritesNothingAndTheRunGoesOn(string what, Action<PackageBuilder> damage)
        {
            var b = new PackageBuilder();
            b.AddExport("SoundNodeWave", Props(b).Str("Text", "text").None().ToSerialData());
            b.AddExport("SoundNodeWave", Props(b).Str("Text", "more").None().ToSerialData());
            damage(b);
            if (b.TruncateAt == 1)
            {
                b.Build();
                b.TruncateAt = b.Exports[1].SerialOffset + 10;
            }
            b.WriteTo(folder.File("bad.upk"));
            var old = Encoding.ASCII.GetBytes("old text file");
            File.WriteAllBytes(folder.File("bad.txt"), old);
            var good = new PackageBuilder();
            good.AddExport("SoundNodeWave", Props(good).Str("Text", "good").None().ToSerialData());
            good.WriteTo(folder.File("good.upk"));

            string output = ToolRun.Main(folder.File("bad.upk"), folder.File("good.upk"));

            Assert.AreEqual(Output("File: bad.upk" + Version, Label, "The file bad.upk is damaged!",
                "File: good.upk" + Version, Label, "Text File good.upk successfully extracted!"), output, what);
            CollectionAssert.AreEqual(old, File.ReadAllBytes(folder.File("bad.txt")), what);
            CollectionAssert.AreEqual(TextFileBytes("good"), File.ReadAllBytes(folder.File("good.txt")), what);
            CollectionAssert.AreEqual(new[] { "bad.txt", "bad.upk", "good.txt", "good.upk" }, folder.FileNames(), what);
        }

        [Test]
        public void TextFileThatCannotBeWrittenIsReported()
        {
            var b = new PackageBuilder();
            b.AddExport("SoundNodeWave", Props(b).Str("Text", "x").None().ToSerialData());
            b.WriteTo(folder.File("blocked.upk"));
            // A folder in the text file's place cannot be replaced by a file.
            Directory.CreateDirectory(folder.File("blocked.txt"));
            Assert.AreEqual(Output("File: blocked.upk" + Version, Label, "The file blocked.txt could not be written!"),
                ToolRun.Main(folder.File("blocked.upk")));
            Assert.IsTrue(Directory.Exists(folder.File("blocked.txt")));
            CollectionAssert.AreEqual(new[] { "blocked.txt", "blocked.upk" }, folder.FileNames());
        }
    }
}
