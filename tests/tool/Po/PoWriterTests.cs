using System.Collections.Generic;
using System.IO;
using System.Text;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    /// <summary>The writer with gettext, polib and pofilter as judges, and the reader on what they write.</summary>
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
                    Fuzzy = translated && (i == 1 || i == 5), // 1 is untranslated: gettext drops its flag
                    Comment = i == 3 ? "AttributePresentationDefinition, export 3\n\tsecond\r line\n" : "SoundNodeWave, export " + i
                });
            return entries;
        }

        private static byte[] Write(IEnumerable<PoEntry> entries, string language)
        {
            var writer = new PoWriter("Foo \"x\"\n.upk", language);
            foreach (PoEntry e in entries) writer.Add(e);
            return writer.ToArray();
        }

        /// <summary>What reading gives back: fuzzy where asked or where msgfmt needs it, only when translated.</summary>
        private static string Expected(List<PoEntry> entries)
        {
            var copies = new List<PoEntry>();
            foreach (PoEntry e in entries)
                copies.Add(new PoEntry(e.Context, e.Id, e.Str) { Fuzzy = e.Str.Length > 0 && (e.Fuzzy || PoWriter.MustBeFuzzy(e.Id, e.Str)) });
            return PoTools.Render(copies, false);
        }

        [Test]
        public void HeaderFieldsInMsgmergesOrder()
        {
            Assert.AreEqual(
                "msgid \"\"\nmsgstr \"\"\n\"Project-Id-Version: Foo \\\"x\\\"?.upk\\n\"\n\"Language: es\\n\"\n" +
                "\"MIME-Version: 1.0\\n\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\"Content-Transfer-Encoding: 8bit\\n\"\n",
                Encoding.UTF8.GetString(Write(new PoEntry[0], "es")));
        }

        [Test]
        public void GettextAndPolibFindWrittenFilesCanonicalAndValid()
        {
            using (var folder = new TempFolder())
                foreach (bool translated in new[] { false, true })
                {
                    List<PoEntry> entries = Entries(translated);
                    byte[] bytes = Write(entries, translated ? "es" : "");
                    string file = folder.File(translated ? "Foo.es.po" : "Foo.pot"), merged = folder.File("merged.pot");
                    File.WriteAllBytes(file, bytes);
                    PoTools.Ok("msgfmt", "-c", "-o", "/dev/null", file);
                    CollectionAssert.AreEqual(bytes, PoTools.Ok("msgcat", "--no-wrap", file), "msgcat --no-wrap " + file);
                    if (!translated)
                    {
                        PoTools.Ok("msgmerge", "-q", "--no-wrap", "--previous", "-o", merged, file, file);
                        CollectionAssert.AreEqual(bytes, File.ReadAllBytes(merged), "msgmerge of the template with itself");
                    }
                    Assert.AreEqual(entries.Count + " " + entries.Count, PoTools.PolibCounts(file));
                    Assert.AreEqual(Expected(entries), PoTools.Render(PoTools.Read(bytes).Entries, false));
                }
        }

        [Test]
        public void ReaderReadsWhatGettextMakesOfWrittenFiles()
        {
            using (var folder = new TempFolder())
            {
                string pot = folder.File("Foo.pot"), po = folder.File("Foo.es.po"), init = folder.File("init.po");
                File.WriteAllBytes(pot, Write(Entries(false), ""));
                List<PoEntry> translated = Entries(true);
                File.WriteAllBytes(po, Write(translated, "es"));
                Assert.AreEqual(Expected(translated), PoTools.Render(PoTools.Read(PoTools.Ok("msgcat", "-w", "12", po)).Entries, false));
                PoTools.Ok("msginit", "--no-translator", "-l", "es", "-i", pot, "-o", init);
                Assert.AreEqual(Expected(Entries(false)), PoTools.Render(PoTools.Read(File.ReadAllBytes(init)).Entries, false));

                // After a patch (one original reworded, one text gone, one new) every other translation
                // stays, the reworded one turns fuzzy and the removed one obsolete.
                List<PoEntry> patched = Entries(false);
                foreach (List<PoEntry> version in new[] { patched, translated })
                {
                    version[0].Id = "Plain!";
                    version[0].Fuzzy = true;
                    version.RemoveAt(2);
                    version.Add(new PoEntry("Wave_New:Subtitles[0].Text", "Zebra crossing at dawn", ""));
                }
                File.WriteAllBytes(pot, Write(patched, ""));
                PoTools.Ok("msgmerge", "-q", "--previous", "-U", "--backup=off", po, pot);
                Assert.AreEqual(Expected(translated), PoTools.Render(PoTools.Read(File.ReadAllBytes(po)).Entries, false));
            }
        }

        [Test]
        public void PofilterFindsNothingInRealisticSubtitles()
        {
            string[] subtitles =
            {
                "Where were you?", "Nowhere.\nLeave it.", "He said \"run\" - 100% sure.", "Saved in C:\\Games.", "<i>Whisper</i>...",
                "[Gunshot]", "\u00C7a va ? Ja. \u0414\u0430. \u597D\u7684\u3002", "%s took %d coins", "{PlayerName} wins!", "",
            };
            // The template, a copy translated word for word, and a translation that drops tags and
            // variables, which pofilter must find (so it is known to be looking).
            string[] translations = { "", null, "<b>%s</b> took coins" };
            using (var folder = new TempFolder())
                for (int c = 0; c < translations.Length; c++)
                {
                    var entries = new List<PoEntry>();
                    for (int i = 0; i < subtitles.Length; i++)
                        entries.Add(new PoEntry("Wave_" + i + ":Subtitles[0].Text", subtitles[i], translations[c] ?? subtitles[i]));
                    string file = folder.File("s" + c + ".po");
                    File.WriteAllBytes(file, Write(entries, c == 0 ? "" : "es"));
                    Assert.AreEqual(c < 2, PoTools.PofilterFindings(file) == 0, file);
                }
        }

        [Test]
        public void CarriableTexts()
        {
            foreach (string text in new[] { "", "\U0001F600\t\r\n\u0001\u007F", "\uDBFF\uDFFF" })
                Assert.IsTrue(PoWriter.CanCarry(text), text);
            foreach (string text in new[] { "a\0", "\u0004", "\uD800", "x\uDC00y", "\uDFFF\uDBFF" })
                Assert.IsFalse(PoWriter.CanCarry(text), text);
        }
    }
}
