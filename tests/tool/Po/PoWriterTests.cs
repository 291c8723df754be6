using System;
using System.Collections.Generic;
using System.IO;
using System.Text;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    /// <summary>
    /// The writer against gettext, polib and translate-toolkit as judges, and
    /// the reader on what they write.
    /// </summary>
    [TestFixture]
    public class PoWriterTests
    {
        // Key, original, translation; awkward on purpose. Every (key, original) pair is unique.
        private static readonly string[,] Awkward =
        {
            { "Wave_A:Subtitles[0].Text", "Plain", "Llano" },
            { "Wave_A:Subtitles[1].Text", "", "" },
            { "Key \"quoted\" \\ back", "Say \"hi\" \\ C:\\dir\\", "Di \"hola\" \\" },
            { "Tab\tkey", "a\tb\rc", "x\ty\rz" },
            { "LF first", "\nstarts", "empieza" },
            { "LF last", "ends\n", "termina\n" },
            { "LF both", "\n\nmiddle\n\n", "\n\nmedio\n\n" },
            { "Multi\nline key", "one\ntwo\nthree", "uno\ndos" },
            { "Controls", "\a\b\f\v\u0001\u001b\u007f\u0085", "\u0002" },
            { "Non-BMP \U0001F600", "\U0001F600 \u03A9\u03BC\u03AD\u03B3\u03B1 \u597D", "\U00010348" },
            { "", "empty key", "clave vac\u00EDa" },
            { "Lone LF", "\n", "" },
            { "CR", "\r", "\r\n" },
            { "Hash #2", "# not a comment", "#~ nor obsolete" },
        };

        private static List<PoEntry> Entries(bool translated)
        {
            var entries = new List<PoEntry>();
            for (int i = 0; i < Awkward.GetLength(0); i++)
                entries.Add(new PoEntry(Awkward[i, 0], Awkward[i, 1], translated ? Awkward[i, 2] : "")
                {
                    Fuzzy = translated && i == 5,
                    Comment = i == 3 ? "AttributePresentationDefinition, export " + i + "\n\tsecond\r line\n" : "SoundNodeWave, export " + i
                });
            return entries;
        }

        private static byte[] Write(IEnumerable<PoEntry> entries, string language)
        {
            var writer = new PoWriter("Foo \"x\"\n.upk", language);
            foreach (PoEntry e in entries) writer.Add(e);
            byte[] bytes = writer.ToArray();
            Assert.AreEqual(writer.Length, bytes.Length);
            return bytes;
        }

        /// <summary>What reading gives back: fuzzy where asked or where msgfmt needs it, only when translated.</summary>
        private static string Expected(List<PoEntry> entries)
        {
            var copies = new List<PoEntry>();
            foreach (PoEntry e in entries)
                copies.Add(new PoEntry(e.Context, e.Id, e.Str) { Fuzzy = e.Str.Length > 0 && (e.Fuzzy || PoWriter.MustBeFuzzy(e.Id, e.Str)) });
            return PoTools.RenderAll(copies, false);
        }

        [Test]
        public void TheFormIsGettextsUnwrappedOne()
        {
            string expected =
                "msgid \"\"\nmsgstr \"\"\n\"Project-Id-Version: Foo \\\"x\\\"?.upk\\n\"\n\"Language: es\\n\"\n" +
                "\"MIME-Version: 1.0\\n\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\"Content-Transfer-Encoding: 8bit\\n\"\n" +
                "\n#. c\n#.\n#. d\n#, fuzzy\nmsgctxt \"k\"\nmsgid \"a\\n\"\nmsgstr \"\"\n\"b\\n\"\n\"\\n\"\n" +
                "\nmsgid \"\"\n\"\\n\"\n\"x\"\nmsgstr \"\"\n";
            byte[] bytes = Write(new[]
            {
                new PoEntry("k", "a\n", "b\n\n") { Comment = "c\n\nd", Fuzzy = true },
                new PoEntry(null, "\nx", null) { Fuzzy = true },
            }, "es");
            Assert.AreEqual(expected, Encoding.UTF8.GetString(bytes));
        }

        [Test]
        public void GettextAndPolibFindWrittenFilesCanonicalAndValid()
        {
            using (var folder = new TempFolder())
                foreach (bool translated in new[] { false, true })
                {
                    List<PoEntry> entries = Entries(translated);
                    byte[] bytes = Write(entries, translated ? "es" : "");
                    string file = folder.File(translated ? "Foo.es.po" : "Foo.pot");
                    File.WriteAllBytes(file, bytes);
                    PoTools.Ok("msgfmt", "-c", "-o", "/dev/null", file);
                    CollectionAssert.AreEqual(bytes, PoTools.Ok("msgcat", "--no-wrap", file), "msgcat --no-wrap " + file);
                    if (!translated)
                    {
                        string merged = folder.File("merged.pot");
                        PoTools.Ok("msgmerge", "-q", "--no-wrap", "--previous", "-o", merged, file, file);
                        CollectionAssert.AreEqual(bytes, File.ReadAllBytes(merged), "msgmerge of the template with itself");
                    }
                    int n = entries.Count;
                    Assert.AreEqual(n + " " + n, PoTools.PolibCounts(file));
                    Assert.AreEqual(Expected(entries), PoTools.RenderAll(PoTools.Read(bytes).Entries, false));
                }
        }

        [Test]
        public void ReaderReadsWhatGettextMakesOfWrittenFiles()
        {
            using (var folder = new TempFolder())
            {
                string pot = folder.File("Foo.pot"), po = folder.File("Foo.es.po");
                File.WriteAllBytes(pot, Write(Entries(false), ""));
                List<PoEntry> translated = Entries(true);
                File.WriteAllBytes(po, Write(translated, "es"));

                // Wrapped at a narrow width: the same entries.
                Assert.AreEqual(Expected(translated),
                    PoTools.RenderAll(PoTools.Read(PoTools.Ok("msgcat", "-w", "12", po)).Entries, false));
                // A new translation started from the template: every entry, untranslated.
                PoTools.Ok("msginit", "--no-translator", "-l", "es", "-i", pot, "-o", folder.File("init.po"));
                Assert.AreEqual(Expected(Entries(false)),
                    PoTools.RenderAll(PoTools.Read(File.ReadAllBytes(folder.File("init.po"))).Entries, false));

                // After a patch: one original reworded, one text gone, one new.
                var patched = Entries(false);
                patched[0].Id = "Plain!";
                patched.RemoveAt(2);
                patched.Add(new PoEntry("Wave_New:Subtitles[0].Text", "Zebra crossing at dawn", ""));
                File.WriteAllBytes(pot, Write(patched, ""));
                PoTools.Ok("msgmerge", "-q", "--previous", "-U", "--backup=off", po, pot);
                PoCatalog merged = PoTools.Read(File.ReadAllBytes(po));
                Assert.AreEqual(patched.Count, merged.Entries.Count, "the removed entry is obsolete");
                PoEntry reworded = merged.Entries[0];
                Assert.IsTrue(reworded.Fuzzy && reworded.Str == "Llano" && reworded.Id == "Plain!", PoTools.Render(reworded));

                var keys = new List<string>();
                var texts = new List<string>();
                foreach (PoEntry e in patched)
                {
                    keys.Add(e.Context);
                    texts.Add(e.Id);
                }
                PoLookupResult result = PoLookup.Apply(keys, texts, merged);
                Assert.AreEqual("Plain!", result.Texts[0], "a fuzzy translation is not used");
                Assert.AreEqual(Awkward[3, 2], result.Texts[2], "a surviving translation lands on its text");
                // The reworded entry, the one marked so, and the two that differ in a line feed at an end.
                Assert.AreEqual(4, result.Fuzzy.Count);
                Assert.AreEqual(reworded.Line, result.Fuzzy.FirstLine);
                Assert.AreEqual(0, result.Outdated.Count + result.Unmatched.Count + result.Plural.Count);
            }
        }

        [Test]
        public void PofilterFindsNothingInRealisticSubtitles()
        {
            string[] subtitles =
            {
                "Where were you last night?", "Nowhere you need to know about.\nLeave it.",
                "He said \"run\" - so I ran.", "100% sure. The save is in C:\\Games\\Save.",
                "<i>Whispering</i> in the dark...", "[Gunshot]", "Line one\nLine two\nLine three",
                "\u00C7a va ? Ja, nat\u00FCrlich. \u0414\u0430. \u597D\u7684\u3002", "%s took %d coins",
                "{PlayerName} wins!", "Wait\u2014what?!", "",
            };
            using (var folder = new TempFolder())
            {
                // The template, a copy translated word for word, and one translation that drops tags and a variable.
                string[] copies = { "", null, "<b>%s</b> took coins" };
                for (int c = 0; c < copies.Length; c++)
                {
                    var entries = new List<PoEntry>();
                    for (int i = 0; i < subtitles.Length; i++)
                        entries.Add(new PoEntry("Wave_" + i + ":Subtitles[0].Text", subtitles[i], copies[c] ?? subtitles[i]));
                    string file = folder.File("s" + c + ".po");
                    File.WriteAllBytes(file, Write(entries, c == 0 ? "" : "es"));
                    int findings = PoTools.PofilterFindings(file);
                    if (c < 2) Assert.AreEqual(0, findings, file);
                    else Assert.Greater(findings, 0, "pofilter must find the dropped tags and variables");
                }
            }
        }

        [Test]
        public void CarriableTexts()
        {
            var cases = new[]
            {
                new object[] { "", true }, new object[] { "\U0001F600\t\r\n\u0001\u007F", true },
                new object[] { "a\0", false }, new object[] { "\u0004", false },
                new object[] { "\uD800", false }, new object[] { "x\uDC00y", false }, new object[] { "\uDBFF\uDFFF", true },
            };
            foreach (object[] c in cases)
                Assert.AreEqual((bool)c[1], PoWriter.CanCarry((string)c[0]), "case " + Array.IndexOf(cases, c));
        }
    }
}
