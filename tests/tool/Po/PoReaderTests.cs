using System;
using System.Diagnostics;
using System.Text;
using NUnit.Framework;
using tool;

namespace tool.Tests
{
    /// <summary>
    /// The reader on hand-made PO files: the forms it accepts, the hostile
    /// ones it refuses (with the line), and inputs built to be slow. Sources
    /// are one byte per character; UTF-8 is spelled out byte by byte.
    /// </summary>
    [TestFixture]
    public class PoReaderTests
    {
        private static readonly string[,] Accepted =
        {
            // A byte-order mark, CRLF, a header without charset.
            { "\xEF\xBB\xBFmsgid \"\"\r\nmsgstr \"Project-Id-Version: x\\n\"\r\n\r\nmsgctxt \"k\"\r\nmsgid \"a\"\r\nmsgstr \"b\"\r\n",
              "k|a|b@4" },
            // Any wrapping: keywords apart from their strings, several strings on a line, indentation.
            { "msgid\n\"\"\n  \"x\" \"y\"\n\t\"z\"\nmsgstr\n\"1\"   \"2\"", "(none)|xyz|12@1" },
            // Comments of every kind; a flag before an obsolete entry is that entry's; the
            // obsolete entry's pair is a live one's and is no duplicate.
            { "# translator\n#. extracted\n#: ref:1\n#, c-format,fuzzy\n#| msgctxt \"old\"\n#| msgid \"old\"\n" +
              "msgctxt \"k\"\nmsgid \"a\"\nmsgstr \"b\"\n\n#, fuzzy\n#~ msgctxt \"k2\"\n#~ msgid \"gone\"\n#~ msgstr \"weg\"\n\n" +
              "msgctxt \"k2\"\nmsgid \"gone\"\nmsgstr \"c\"\n#",
              "k|a|b|F@7;k2|gone|c@16" },
            // Every escape gettext knows; hex takes every digit after \x; a backslash before a line end joins.
            { "msgid \"\\a\\b\\f\\v\\\\\\\"\\n\\t\\r\\?\\'\\101\\1011\\x42\\x00043\\303\\251\\xC3\\xa9\\\nz\"\nmsgstr \"\xC3\xA9\xF0\x9F\x98\x80\"",
              "(none)|\a\b\f\v\\\"\n\t\r?'AA1BC\u00E9\u00E9z|\u00E9\U0001F600@1" },
            // A plural entry keeps msgstr[0]; an empty context differs from none.
            { "msgid \"one\"\nmsgid_plural \"many\"\nmsgstr[1] \"muchos\"\nmsgstr [0] \"uno\"\n\n" +
              "msgctxt \"\"\nmsgid \"a\"\nmsgstr \"\"\nmsgid \"a\"\nmsgstr \"\"",
              "(none)|one|uno|P@1;|a|@6;(none)|a|@9" },
        };

        [Test]
        public void AcceptedForms()
        {
            for (int i = 0; i < Accepted.GetLength(0); i++)
                Assert.AreEqual(Accepted[i, 1] + ";", PoTools.Render(PoTools.Read(PoTools.Latin1(Accepted[i, 0])).Entries, true), "case " + i);
            foreach (string charset in new[] { "UTF-8", "utf-8", "Utf8", "ASCII", "ascii", "CHARSET", "" })
            {
                PoCatalog c = PoTools.Read(PoTools.Latin1(Header(charset) + "msgid \"\xC3\xA9\"\nmsgstr \"\"\n"));
                Assert.AreEqual("\u00E9 charset=" + charset + "\n", c.Entries[0].Id + " " + c.Header.Substring(c.Header.IndexOf("charset=")), charset);
            }
        }

        private static string Header(string charset)
        {
            return "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=" + charset + "\\n\"\n\n";
        }

        // Source, line, problem. The problem stands after a line or two of harmless text.
        private static readonly object[,] Refused =
        {
            { "# c\nmsgid \"a\"\nmsgstr \"b\"\n\nmsgid \"a\"\nmsgstr \"c\"\n", 5, PoProblem.DuplicateEntry },
            { "msgid \"\"\nmsgstr \"\"\n\nmsgid \"\"\nmsgstr \"x\"\n", 4, PoProblem.DuplicateEntry },
            { "# c\nmsgid \"a\\q\"\nmsgstr \"\"", 2, PoProblem.UnknownEscape },
            { "# c\nmsgid \"a\\x\"\nmsgstr \"\"", 2, PoProblem.UnknownEscape },
            { "# c\nmsgid \"a\\400\"\nmsgstr \"\"", 2, PoProblem.EscapeOutOfRange },
            { "# c\nmsgid \"a\\x100\"\nmsgstr \"\"", 2, PoProblem.EscapeOutOfRange },
            { "# c\n\nmsgid \"abc\nmsgstr \"\"", 3, PoProblem.UnterminatedString },
            { "# c\nmsgid \"a\"\nmsgstr \"b", 3, PoProblem.UnterminatedString },
            { "# c\nmsgid \"a\"\nmsgstr \"b\\", 3, PoProblem.UnterminatedString },
            { "# c\nmsgid \"\\xC3\"\nmsgstr \"\"", 2, PoProblem.InvalidUtf8 },
            { "# c\nmsgid \"a\"\nmsgstr \"\xFF\"", 3, PoProblem.InvalidUtf8 },
            { "# c\n#. \xC0\xAF overlong\nmsgid \"a\"\nmsgstr \"\"", 2, PoProblem.InvalidUtf8 },
            { "# c\nmsgid \"\xED\xA0\x80\"\nmsgstr \"\"", 2, PoProblem.InvalidUtf8 },
            { "# c\nmsgid \"\xF4\x90\x80\x80\"\nmsgstr \"\"", 2, PoProblem.InvalidUtf8 },
            { "# c\nmsgid \"\xE2\x82\"", 2, PoProblem.InvalidUtf8 },
            { "# c\nmsgctxt \"a\x04z\"\nmsgid \"a\"\nmsgstr \"\"", 2, PoProblem.ContextSeparator },
            { "# c\nmsgctxt \"a\"\nmsgid \"\\004\"\nmsgstr \"\"", 3, PoProblem.ContextSeparator },
            { "# c\nmsgid \"a\"\nmsgstr \"\x04\"", 3, PoProblem.ContextSeparator },
            { "# c\nmsgid \"a\\0\"\nmsgstr \"\"", 2, PoProblem.NulCharacter },
            { "# c\nmsgid \"a\"\nmsgstr \"\x00\"", 3, PoProblem.NulCharacter },
            { "# c\n\"a\"\n", 2, PoProblem.Syntax },
            { "# c\nmsgid \"a\"\n", 2, PoProblem.Syntax },
            { "# c\nmsgid \"a\"\nmsgstr\n\nmsgid \"b\"", 3, PoProblem.Syntax },
            { "# c\nmsgid \"a\"\nmsgid_plural \"b\"\nmsgstr \"x\"", 4, PoProblem.Syntax },
            { "# c\nmsgctxt \"a\"\nmsgstr \"x\"", 3, PoProblem.Syntax },
            { "# c\nmsgid \"a\"\nmsgstr[x] \"\"", 3, PoProblem.Syntax },
            { "# c\nmsgid \"a\" msgstr \"b\" ;", 2, PoProblem.Syntax },
            { "\xEF\xBB\xBF\xEF\xBB\xBFmsgid \"a\"\nmsgstr \"\"", 1, PoProblem.Syntax },
            { "\n" + Header("ISO-8859-1"), 2, PoProblem.UnsupportedCharset },
            { "\n" + Header("UTF-8x"), 2, PoProblem.UnsupportedCharset },
        };

        [Test]
        public void HostileInputsAreRefusedWithTheirLine()
        {
            for (int i = 0; i < Refused.GetLength(0); i++)
            {
                byte[] bytes = PoTools.Latin1((string)Refused[i, 0]);
                PoCatalog c = PoReader.Read(bytes, bytes.Length);
                Assert.IsNotNull(c.Refusal, "case " + i + " was read");
                Assert.AreEqual(Refused[i, 2] + " at " + Refused[i, 1], c.Refusal.Problem + " at " + c.Refusal.Line, "case " + i);
                Assert.AreEqual(0, c.Entries.Count);
            }
        }

        [Test]
        public void LargeAndAdversarialInputsTakeLinearTime()
        {
            // 10^6 entries, a string of 10^6 lines, 500,000 comment lines, 10^7 hex digits: each would
            // take minutes if any step were quadratic in it.
            const int N = 1000000;
            var many = new StringBuilder();
            for (int i = 0; i < N; i++) many.Append("msgctxt \"k").Append(i).Append("\"\nmsgid \"t\"\nmsgstr \"u\"\n");
            var longString = new StringBuilder("msgctxt \"k\"\nmsgid \"\"\nmsgstr \"\"\n");
            for (int i = 0; i < N; i++) longString.Append("\"ab\\n\"\n");
            var cases = new[]
            {
                many.ToString(),
                longString.ToString(),
                new StringBuilder().Insert(0, "#, fuzzy, fuzzy\n#~ x\n", N / 4).Append("msgid \"a\"\nmsgstr \"b\"").ToString(),
                "msgid \"\\x4" + new string('0', 10 * N) + "\"",
            };
            var watch = Stopwatch.StartNew();
            var results = new string[cases.Length];
            for (int i = 0; i < cases.Length; i++)
            {
                PoCatalog c = PoReader.Read(PoTools.Latin1(cases[i]), cases[i].Length);
                PoEntry last = c.Refusal == null ? c.Entries[c.Entries.Count - 1] : null;
                results[i] = last == null ? c.Refusal.ToString() : c.Entries.Count + " " + last.Str.Length + " " + last.Fuzzy;
            }
            CollectionAssert.AreEqual(new[] { N + " 1 False", "1 " + (3 * N) + " False", "1 1 False", "line 1: escape value larger than one byte" }, results);
            Assert.Less(watch.Elapsed.TotalSeconds, 30, "reading took too long");
        }
    }
}
