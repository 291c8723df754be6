using System;
using System.Collections.Generic;
using System.IO;
using System.Text;
using NUnit.Framework;
using tool;
using tool.Tests.Fuzz;

namespace tool.Tests
{
    /// <summary>
    /// The PO commands end to end, with gettext, polib and pofilter as the
    /// judges and the text file's compile as the measure of a PO compile.
    /// </summary>
    [TestFixture]
    public class PoFilesTests : FolderFixture
    {
        private string Put(string name, byte[] bytes)
        {
            File.WriteAllBytes(folder.File(name), bytes);
            return folder.File(name);
        }

        private string Put(string name, string text)
        {
            return Put(name, Encoding.UTF8.GetBytes(text));
        }

        /// <summary>The tool's output between the banner and the closing mark.</summary>
        private static string Run(params string[] args)
        {
            string output = ToolRun.Main(args);
            StringAssert.StartsWith(ToolRun.Banner, output);
            StringAssert.EndsWith("..DONE..", output);
            return output.Substring(ToolRun.Banner.Length, output.Length - ToolRun.Banner.Length - 8);
        }

        /// <summary>Compiles a text file or a PO file and returns the .clxi it gave, which is then removed.</summary>
        private byte[] Compiled(string file, string package = "Demo.upk")
        {
            StringAssert.EndsWith(" compiled successfully!\r\n", Run(folder.File(file)), file);
            byte[] clxi = File.ReadAllBytes(folder.File(package + ".clxi"));
            File.Delete(folder.File(package + ".clxi"));
            return clxi;
        }

        private static string Entry(string key, string id, string str, string flags = "")
        {
            return "\n" + flags + "msgctxt \"" + key + "\"\nmsgid \"" + id + "\"\nmsgstr \"" + str + "\"\n";
        }

        [Test]
        public void CommandsWarningsAndRefusals()
        {
            string demo = Put("Demo.upk", DemoPackage.Build());
            // The demo's lines, the second translated, the last (a text import leaves as it is) edited.
            var lines = new List<string>(DemoPackage.ExtractedLines);
            lines[1] = "Nirgendwo.\nLass es.";
            lines[12] = "Licht aus.";
            string text = Put("Demo.txt", TextFiles.Of(lines.ToArray()));
            Assert.AreEqual("File: Demo.upk (6423388)\r\nExtracting subtitles:\r\nPO template Demo.pot successfully extracted!\r\n" +
                "File: Demo.upk (6423388)\r\nExtracting subtitles:\r\nPO file Demo.po successfully written!\r\n" +
                "The file Demo.po already exists and was not replaced!\r\n",
                Run("/po", demo, text, "/po", text));
            byte[] template = File.ReadAllBytes(folder.File("Demo.pot"));
            Run(demo, "/po");
            CollectionAssert.AreEqual(template, File.ReadAllBytes(folder.File("Demo.pot")), "the same template every run");
            List<PoEntry> entries = PoTools.Read(template).Entries, translated = PoTools.Read(File.ReadAllBytes(folder.File("Demo.po"))).Entries;
            Assert.AreEqual(lines.Count + " " + lines.Count, entries.Count + " " + translated.Count);
            for (int k = 0; k < entries.Count; k++)
                Assert.AreEqual(DemoPackage.Keys[k] + "|" + DemoPackage.ExtractedLines[k] + "||" + (k == 1 || k == 12 ? lines[k] : ""),
                    entries[k].Context + "|" + entries[k].Id + "|" + entries[k].Str + "|" + translated[k].Str);
            CollectionAssert.AreEqual(Compiled("Demo.txt"), Compiled("Demo.po"), "the PO compiles as the text file");

            Put("Short.upk", DemoPackage.Build());
            Put("Short.txt", TextFiles.Of("one", "two"));
            Put("Long.upk", DemoPackage.Build());
            lines.AddRange(new[] { "", "surplus" });
            Put("Long.txt", TextFiles.Of(lines.ToArray()));
            Put("Empty.PO", "");
            Put("Lonely.po", "msgid \"a\"\nmsgstr \"b\"\n");
            const string header = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n";
            Put("Demo.w.po", header + Entry(DemoPackage.Keys[0], DemoPackage.ExtractedLines[0], "Fuzzy", "#, fuzzy\n") +
                Entry(DemoPackage.Keys[2], "You could not have called.", "Outdated") + Entry("Gone:Text", "Gone", "Unmatched") +
                "\nmsgctxt \"Plural\"\nmsgid \"one\"\nmsgid_plural \"many\"\nmsgstr[0] \"uno\"\n" +
                Entry(DemoPackage.Keys[3], DemoPackage.ExtractedLines[3], "Used") + Entry(DemoPackage.Keys[12], DemoPackage.ExtractedLines[12], "Ignored"));
            var hostile = new[]
            {
                "escape", "msgid \"a\\q\"", "1: unknown escape sequence",
                "unterminated", "\nmsgid \"a\nmsgstr \"\"", "2: string without its closing quote",
                "separator", "msgctxt \"k\x04\"\nmsgid \"a\"\nmsgstr \"\"", "1: control character U+0004 in a string",
                "utf8", "msgid \"\xC3\"\nmsgstr \"\"", "1: text that is not valid UTF-8",
                "duplicate", "msgid \"a\"\nmsgstr \"\"\nmsgid \"a\"\nmsgstr \"\"", "3: second entry with the same msgctxt and msgid",
                "charset", "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"", "1: charset other than UTF-8",
            };
            var args = new List<string> { "/po", folder.File("Short.txt"), folder.File("Long.txt"), folder.File("Empty.PO"),
                folder.File("Gone.po"), folder.File("Lonely.po"), folder.File("Demo.pot"), folder.File("Demo.w.po") };
            var expected = new StringBuilder("File: Short.upk (6423388)\r\nExtracting subtitles:\r\nThe file Short.txt has fewer lines than the package has texts!\r\n" +
                "File: Long.upk (6423388)\r\nExtracting subtitles:\r\nWarning: Long.txt has 2 more lines than the package has texts; they were not used.\r\n" +
                "PO file Long.po successfully written!\r\nThe file Empty.PO has zero bytes!\r\nFile Gone.po was not found!\r\n" +
                "File Lonely.upk was not found!\r\nThe file Demo.pot is not supported!\r\nCompiling subtitles\r\n" +
                "Warning: line 26 of Demo.w.po belongs to a text that cannot be compiled; the edit is ignored.\r\n" +
                "Warning: fuzzy entries of Demo.w.po were not used: 1, the first at line 5.\r\n" +
                "Warning: entries of Demo.w.po whose original the package no longer holds were not used: 1, the first at line 9;" +
                " update Demo.w.po with msgmerge.\r\n" +
                "Warning: entries of Demo.w.po that match no text of the package were not used: 1, the first at line 13.\r\n" +
                "Warning: plural entries of Demo.w.po were not used: 1, the first at line 17.\r\n" +
                "File Demo.upk.clxi compiled successfully!\r\n");
            for (int i = 0; i < hostile.Length; i += 3)
            {
                args.Add(Put("Demo." + hostile[i] + ".po", PoTools.Latin1(hostile[i + 1])));
                expected.Append("The file Demo." + hostile[i] + ".po is not a valid PO file: line " + hostile[i + 2] + "!\r\n");
            }
            Assert.AreEqual(expected.ToString(), Run(args.ToArray()));
            Assert.IsFalse(File.Exists(folder.File("Short.po")));
            byte[] fromPo = File.ReadAllBytes(folder.File("Demo.upk.clxi"));
            lines = new List<string>(DemoPackage.ExtractedLines);
            lines[3] = "Used";
            Put("Demo.txt", TextFiles.Of(lines.ToArray()));
            CollectionAssert.AreEqual(Compiled("Demo.txt"), fromPo, "only the entry in use counts");
        }

        /// <summary>A translation that keeps the original's leading and trailing line feeds, as msgfmt wants.</summary>
        private static string TranslationOf(FuzzRandom rng, string original)
        {
            string core = original.Trim('\n');
            if (core.Length == 0) return original;
            int lead = original.IndexOf(core, StringComparison.Ordinal);
            return original.Substring(0, lead) + "ES " + RandomPackage.RandomValue(rng, 20).Replace('\0', ' ').Trim('\n')
                + original.Substring(lead + core.Length);
        }

        private static void RequireCanonical(string file, bool template)
        {
            PoTools.Ok("msgfmt", "-c", "-o", "/dev/null", file);
            byte[] bytes = File.ReadAllBytes(file);
            CollectionAssert.AreEqual(bytes, PoTools.Ok("msgcat", "--no-wrap", file), "msgcat --no-wrap " + file);
            int count = PoTools.Read(bytes).Entries.Count;
            Assert.AreEqual(count + " " + count, PoTools.PolibCounts(file), "polib's entries and pairs");
            if (!template) return;
            PoTools.Ok("msgmerge", "-q", "--no-wrap", "--previous", "-o", file + ".merged", file, file);
            CollectionAssert.AreEqual(bytes, File.ReadAllBytes(file + ".merged"), "msgmerge of the template with itself");
            // pofilter takes a msgid of blanks with a line end, untranslated, for a translation without it.
            foreach (PoEntry flagged in PoTools.PofilterFlagged(file))
                Assert.IsTrue(flagged.Id.Trim().Length == 0 && flagged.Id.IndexOfAny(new[] { '\n', '\r' }) >= 0, "pofilter: " + flagged.Context);
        }

        [Test]
        public void StandardToolsJudgeWrittenFilesAndPoCompilesAsTheTextFile()
        {
            var packages = new List<byte[]> { DemoPackage.Build() };
            for (int i = 1; i <= 6; i++)
                packages.Add(RandomPackage.Generate(FuzzRandom.ForCase(40, i), new RandomPackageOptions { ObjectNames = true }).Bytes);
            var rng = FuzzRandom.ForCase(41, 0);
            int judged = 0;
            foreach (byte[] package in packages)
            {
                foreach (string name in folder.FileNames()) File.Delete(folder.File(name));
                string upk = Put("Demo.upk", package), pot = folder.File("Demo.pot"), es = folder.File("Demo.es.po");
                Run(upk);
                if (Run("/po", upk).Contains("no text that PO can carry; Demo.pot was not written!")) continue;
                RequireCanonical(pot, true);
                byte[] unedited = Compiled("Demo.txt");
                PoTools.Ok("msginit", "--no-translator", "-l", "es", "-i", pot, "-o", es);
                CollectionAssert.AreEqual(unedited, Compiled("Demo.es.po"), "msginit's PO compiles as the unedited text file");

                // Every text translated: in the text file, by polib in msginit's PO, by the tool from the text file.
                var lines = new List<string>();
                var carried = new List<string>();
                foreach (string line in TextFiles.Lines(File.ReadAllBytes(folder.File("Demo.txt"))))
                {
                    string original = TextFile.UnescapeLine(line);
                    lines.Add(PoWriter.CanCarry(original) ? TranslationOf(rng, original) : original);
                    if (PoWriter.CanCarry(original)) carried.Add(lines[lines.Count - 1]);
                }
                Put("Demo.txt", TextFiles.Of(lines.ToArray()));
                byte[] translated = Compiled("Demo.txt");
                PoTools.Translate(es, carried);
                CollectionAssert.AreEqual(translated, Compiled("Demo.es.po"), "polib's translation");
                Run("/po", folder.File("Demo.txt"));
                RequireCanonical(folder.File("Demo.po"), false);
                CollectionAssert.AreEqual(translated, Compiled("Demo.po"), "the text file moved into PO");
                judged++;
            }
            // (One generated package holds a single text, with a NUL in it.)
            Assert.GreaterOrEqual(judged, packages.Count - 1, "packages with texts that PO can carry");
        }

        /// <summary>A package of sound waves: each a name and the texts of its subtitles.</summary>
        private static byte[] Waves(params string[][] waves)
        {
            var b = new PackageBuilder();
            var names = new PropertyWriter(b.Names);
            foreach (string[] wave in waves)
            {
                var w = names.Nested().Array("Subtitles", wave.Length - 1, e =>
                {
                    for (int i = 1; i < wave.Length; i++) e.Str("Text", wave[i]).Float("Time", i).None();
                }).None();
                b.Name(b.AddExport("SoundNodeWave", w.ToSerialData()), wave[0]);
            }
            return b.Build();
        }

        [Test]
        public void TranslationsSurviveAPatchMergedWithMsgmerge()
        {
            string demo = Put("Demo.upk", Waves(new[] { "Wave_A", "Hello.", "Goodbye." }, new[] { "Wave_B", "Run!" },
                new[] { "Wave_C", "Left.", "Right." }, new[] { "Wave_D", "Gone soon." }));
            string es = folder.File("Demo.es.po");
            Run("/po", demo);
            PoTools.Ok("msginit", "--no-translator", "-l", "es", "-i", folder.File("Demo.pot"), "-o", es);
            PoTools.Translate(es, new[] { "ES Hello.", "ES Goodbye.", "ES Run!", "ES Left.", "ES Right.", "ES Gone soon." });
            // A wave inserted, one renamed, a text reworded, a wave removed.
            byte[] patched = Waves(new[] { "Wave_A", "Hello.", "Goodbye." }, new[] { "Wave_New", "New line." },
                new[] { "Wave_B2", "Run!" }, new[] { "Wave_C", "Left.", "Right!" });
            Run("/po", Put("New.upk", patched));
            PoTools.Ok("msgmerge", "-q", "--previous", "-U", "--backup=off", es, folder.File("New.pot"));
            Put("Demo.upk", patched);
            byte[] merged = Compiled("Demo.es.po");
            Put("Demo.txt", TextFiles.Of("ES Hello.", "ES Goodbye.", "New line.", "Run!", "ES Left.", "Right!"));
            CollectionAssert.AreEqual(Compiled("Demo.txt"), merged);
        }
    }
}
