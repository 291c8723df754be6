using System;
using System.IO;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    [TestFixture]
    public class DemoPackageTests
    {
        /// <summary>samples/Demo.upk of the source tree that the build names in SCRIVEL_SOURCE_DIR.</summary>
        private static string CommittedDemoPath()
        {
            string source = Environment.GetEnvironmentVariable("SCRIVEL_SOURCE_DIR");
            if (string.IsNullOrEmpty(source))
                Assert.Fail("SCRIVEL_SOURCE_DIR is not set: run the tests through ctest, or set it to the source tree");
            return Path.Combine(Path.Combine(source, "samples"), "Demo.upk");
        }

        [Test]
        public void CommittedDemoEqualsWhatTheGeneratorMakes()
        {
            byte[] committed = File.ReadAllBytes(CommittedDemoPath());
            byte[] generated = DemoPackage.Build();
            Assert.AreEqual(generated.Length, committed.Length, "run scripts/make-demo.sh after changing the demo");
            CollectionAssert.AreEqual(generated, committed, "run scripts/make-demo.sh after changing the demo");
        }

        [Test]
        public void GeneratorIsDeterministic()
        {
            CollectionAssert.AreEqual(DemoPackage.Build(), DemoPackage.Build());
        }

        [Test]
        public void AdditionalDataOffsetsAreAbsoluteFilePositions()
        {
            // The second record of each wave's additional data stores the file
            // offset of its inline data, which follows the offset field directly.
            byte[] package = DemoPackage.Build();
            var audio = new[] { DemoPackage.Audio(48, 1), DemoPackage.Audio(96, 2), DemoPackage.Audio(64, 4), DemoPackage.Audio(32, 7) };
            foreach (byte[] inline in audio)
            {
                int at = IndexOf(package, inline);
                Assert.Greater(at, 4, "inline data of " + inline.Length + " bytes present");
                Assert.AreEqual(at, BitConverter.ToInt32(package, at - 4));
                Assert.AreEqual(inline.Length, BitConverter.ToInt32(package, at - 8), "stored size");
                Assert.AreEqual(inline.Length, BitConverter.ToInt32(package, at - 12), "count");
                Assert.AreEqual(0, BitConverter.ToInt32(package, at - 16), "flags");
            }
        }

        [Test]
        public void ExtractingTheDemoGivesItsDialogue()
        {
            using (var folder = new TempFolder())
            {
                string upk = folder.File("Demo.upk");
                File.WriteAllBytes(upk, DemoPackage.Build());
                string output = ToolRun.Main(upk);

                StringAssert.Contains("File: Demo.upk (6423388)\r\n", output);
                StringAssert.Contains("Text File Demo.upk successfully extracted!\r\n", output);
                StringAssert.DoesNotContain("Error:", output);
                StringAssert.EndsWith("..DONE..", output);

                byte[] text = File.ReadAllBytes(folder.File("Demo.txt"));
                Assert.AreEqual(0xFF, text[0]);
                Assert.AreEqual(0xFE, text[1]);
                var lines = TextFiles.Lines(text);
                Assert.AreEqual(DemoPackage.ExtractedLines.Length, lines.Count);
                for (int i = 0; i < lines.Count; i++)
                    Assert.AreEqual(DemoPackage.ExtractedLines[i], TextFile.UnescapeLine(lines[i]), "line " + i);
                Assert.AreEqual("Nowhere you need to know about.{\\n}Leave it.", lines[1]);
            }
        }

        private static int IndexOf(byte[] haystack, byte[] needle)
        {
            for (int i = 0; i + needle.Length <= haystack.Length; i++)
            {
                int j = 0;
                while (j < needle.Length && haystack[i + j] == needle[j]) j++;
                if (j == needle.Length) return i;
            }
            return -1;
        }
    }
}
