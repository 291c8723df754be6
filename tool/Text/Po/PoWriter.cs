using System;
using System.IO;

namespace tool
{
    /// <summary>
    /// Writes a POT or PO file into a growable byte buffer, in the form that
    /// gettext's msgcat --no-wrap gives: UTF-8 without a byte-order mark, LF
    /// line ends, no wrapping except a continuation line after each \n, a
    /// header of Project-Id-Version, Language, MIME-Version, Content-Type and
    /// Content-Transfer-Encoding (no dates), one blank line before each entry.
    /// Texts are written as they are; a text that <see cref="CanCarry"/>
    /// refuses must be left out by the caller, and the caller keeps every
    /// (msgctxt, msgid) pair unique. Time and memory are linear in the output.
    /// </summary>
    public sealed class PoWriter
    {
        private byte[] buffer = new byte[4096];
        private int length;

        /// <summary>Starts the file with its header; project names the package, language may be empty.</summary>
        public PoWriter(string project, string language)
        {
            Append("msgid \"\"\n");
            WriteString("msgstr",
                "Project-Id-Version: " + HeaderValue(project) + "\n" +
                "Language: " + HeaderValue(language) + "\n" +
                "MIME-Version: 1.0\n" +
                "Content-Type: text/plain; charset=UTF-8\n" +
                "Content-Transfer-Encoding: 8bit\n");
        }

        /// <summary>Bytes written so far.</summary>
        public int Length { get { return length; } }

        /// <summary>
        /// True when a PO string can hold the text: no U+0000 (gettext's
        /// strings end there), no U+0004 (its context separator, refused in
        /// any string) and no unpaired surrogate (not encodable in UTF-8).
        /// </summary>
        public static bool CanCarry(string text)
        {
            for (int i = 0; i < text.Length; i++)
            {
                char c = text[i];
                if (c == '\0' || c == '\u0004') return false;
                if (char.IsHighSurrogate(c))
                {
                    if (i + 1 >= text.Length || !char.IsLowSurrogate(text[i + 1])) return false;
                    i++;
                }
                else if (char.IsLowSurrogate(c)) return false;
            }
            return true;
        }

        /// <summary>
        /// True when msgfmt would refuse the pair unless it is fuzzy: a
        /// translation that differs from its original in a leading or a
        /// trailing line feed.
        /// </summary>
        public static bool MustBeFuzzy(string id, string str)
        {
            if (str.Length == 0) return false;
            return StartsWithLineFeed(id) != StartsWithLineFeed(str) || EndsWithLineFeed(id) != EndsWithLineFeed(str);
        }

        private static bool StartsWithLineFeed(string s) { return s.Length > 0 && s[0] == '\n'; }
        private static bool EndsWithLineFeed(string s) { return s.Length > 0 && s[s.Length - 1] == '\n'; }

        /// <summary>
        /// Appends one entry: its comment as #. lines, the fuzzy flag (only
        /// with a translation, as gettext drops it from untranslated entries;
        /// always where <see cref="MustBeFuzzy"/> says so), msgctxt when the
        /// context is not null, msgid and msgstr (null taken as empty).
        /// </summary>
        public void Add(PoEntry entry)
        {
            string str = entry.Str ?? "";
            Append("\n");
            if (!string.IsNullOrEmpty(entry.Comment)) WriteComment(entry.Comment);
            if (str.Length > 0 && (entry.Fuzzy || MustBeFuzzy(entry.Id, str))) Append("#, fuzzy\n");
            if (entry.Context != null) WriteString("msgctxt", entry.Context);
            WriteString("msgid", entry.Id);
            WriteString("msgstr", str);
        }

        /// <summary>Writes the bytes to the stream straight from the buffer.</summary>
        public void WriteTo(Stream stream)
        {
            stream.Write(buffer, 0, length);
        }

        public byte[] ToArray()
        {
            var result = new byte[length];
            Buffer.BlockCopy(buffer, 0, result, 0, length);
            return result;
        }

        /// <summary>A header field's value on one line: control characters become '?'.</summary>
        private static string HeaderValue(string value)
        {
            if (value == null) return "";
            char[] chars = value.ToCharArray();
            for (int i = 0; i < chars.Length; i++)
                if (chars[i] < ' ' || chars[i] == '\u007F') chars[i] = '?';
            return new string(chars);
        }

        /// <summary>
        /// One "#." line per line of the comment ("#." alone for an empty
        /// one, as gettext writes it); control characters other than the tab
        /// become spaces, so a comment can never end its line early.
        /// </summary>
        private void WriteComment(string comment)
        {
            int start = 0;
            while (true)
            {
                int end = comment.IndexOf('\n', start);
                if (end < 0) end = comment.Length;
                if (end == start) Append("#.\n");
                else
                {
                    Append("#. ");
                    for (int i = start; i < end; i++)
                    {
                        char c = comment[i];
                        if ((c < ' ' && c != '\t') || c == '\u007F') c = ' ';
                        AppendChar(comment, ref i, c);
                    }
                    Append("\n");
                }
                if (end == comment.Length) break;
                start = end + 1;
            }
        }

        /// <summary>
        /// keyword "text": escaped, and split after every \n that is not the
        /// last character, the first line then being keyword "".
        /// </summary>
        private void WriteString(string keyword, string text)
        {
            Append(keyword);
            int firstLineFeed = text.IndexOf('\n');
            Append(firstLineFeed >= 0 && firstLineFeed < text.Length - 1 ? " \"\"\n\"" : " \"");
            int last = text.Length - 1;
            for (int i = 0; i <= last; i++)
            {
                char c = text[i];
                switch (c)
                {
                    case '\\': Append("\\\\"); break;
                    case '"': Append("\\\""); break;
                    case '\n': Append(i < last ? "\\n\"\n\"" : "\\n"); break;
                    case '\t': Append("\\t"); break;
                    case '\r': Append("\\r"); break;
                    case '\a': Append("\\a"); break;
                    case '\b': Append("\\b"); break;
                    case '\f': Append("\\f"); break;
                    case '\v': Append("\\v"); break;
                    default: AppendChar(text, ref i, c); break;
                }
            }
            Append("\"\n");
        }

        /// <summary>
        /// Appends c as UTF-8; a surrogate pair (c and the next character)
        /// as one 4-byte sequence, advancing i; an unpaired surrogate as U+FFFD.
        /// </summary>
        private void AppendChar(string text, ref int i, char c)
        {
            Reserve(4);
            if (c < 0x80)
            {
                buffer[length++] = (byte)c;
                return;
            }
            if (c < 0x800)
            {
                buffer[length++] = (byte)(0xC0 | (c >> 6));
                buffer[length++] = (byte)(0x80 | (c & 0x3F));
                return;
            }
            int code = c;
            if (char.IsSurrogate(c))
            {
                if (char.IsHighSurrogate(c) && i + 1 < text.Length && char.IsLowSurrogate(text[i + 1]))
                {
                    code = char.ConvertToUtf32(c, text[++i]);
                    buffer[length++] = (byte)(0xF0 | (code >> 18));
                    buffer[length++] = (byte)(0x80 | ((code >> 12) & 0x3F));
                    buffer[length++] = (byte)(0x80 | ((code >> 6) & 0x3F));
                    buffer[length++] = (byte)(0x80 | (code & 0x3F));
                    return;
                }
                code = 0xFFFD;
            }
            buffer[length++] = (byte)(0xE0 | (code >> 12));
            buffer[length++] = (byte)(0x80 | ((code >> 6) & 0x3F));
            buffer[length++] = (byte)(0x80 | (code & 0x3F));
        }

        /// <summary>Appends ASCII text.</summary>
        private void Append(string ascii)
        {
            Reserve(ascii.Length);
            for (int i = 0; i < ascii.Length; i++) buffer[length++] = (byte)ascii[i];
        }

        /// <summary>Room for n more bytes; the buffer doubles, so appending stays linear.</summary>
        private void Reserve(int n)
        {
            if (n <= buffer.Length - length) return;
            const long Limit = int.MaxValue - 64;
            long needed = (long)length + n;
            if (needed > Limit) throw new OutOfMemoryException("PO output beyond 2 GB");
            long capacity = Math.Min(Limit, Math.Max(needed, 2L * buffer.Length));
            var grown = new byte[capacity];
            Buffer.BlockCopy(buffer, 0, grown, 0, length);
            buffer = grown;
        }
    }
}
