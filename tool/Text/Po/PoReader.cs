using System;
using System.Collections.Generic;
using System.Text;

namespace tool
{
    /// <summary>
    /// Reads the bytes of a PO file into a <see cref="PoCatalog"/>. Accepts
    /// what gettext accepts: a UTF-8 byte-order mark, CRLF, strings wrapped
    /// anyhow, comments of every kind (#, fuzzy flags the next entry; #~
    /// obsolete and #| previous lines are passed over), msgid_plural forms,
    /// every escape (\a \b \f \v \\ \" \n \t \r \? \', octal, hex, and a
    /// backslash before a line end), no header or no charset (UTF-8 then).
    /// Refuses, with the line: syntax errors, unknown escapes, escapes beyond
    /// one byte, unterminated strings, bytes that are not UTF-8, NUL and
    /// U+0004 in strings, a charset other than UTF-8, utf8, ASCII or the
    /// CHARSET placeholder (in any case), duplicate (msgctxt, msgid) pairs.
    /// One pass over the bytes: time and memory linear in the input.
    /// </summary>
    public static class PoReader
    {
        public static PoCatalog Read(byte[] data, int length)
        {
            if (data == null) throw new ArgumentNullException("data");
            if (length < 0 || length > data.Length) throw new ArgumentOutOfRangeException("length");
            return new Parser(data, length).Run();
        }

        /// <summary>
        /// The position of the first byte in [start, end) that begins no
        /// well-formed UTF-8 sequence (overlong forms, surrogates and values
        /// above U+10FFFF are ill-formed) or is a NUL; -1 when there is none.
        /// </summary>
        internal static int FirstBadByte(byte[] data, int start, int end)
        {
            int i = start;
            while (i < end)
            {
                byte b = data[i];
                if (b < 0x80)
                {
                    if (b == 0) return i;
                    i++;
                    continue;
                }
                int more;
                byte low = 0x80, high = 0xBF;
                if (b >= 0xC2 && b <= 0xDF) more = 1;
                else if (b >= 0xE0 && b <= 0xEF)
                {
                    more = 2;
                    if (b == 0xE0) low = 0xA0;
                    else if (b == 0xED) high = 0x9F;
                }
                else if (b >= 0xF0 && b <= 0xF4)
                {
                    more = 3;
                    if (b == 0xF0) low = 0x90;
                    else if (b == 0xF4) high = 0x8F;
                }
                else return i;
                if (more >= end - i) return i;
                if (data[i + 1] < low || data[i + 1] > high) return i;
                for (int k = 2; k <= more; k++)
                    if ((data[i + k] & 0xC0) != 0x80) return i;
                i += more + 1;
            }
            return -1;
        }

        private sealed class Failure : Exception
        {
            public readonly PoRefusal Refusal;

            public Failure(int line, PoProblem problem)
            {
                Refusal = new PoRefusal(line, problem);
            }
        }

        private enum Token { End, Context, Id, IdPlural, Str, StrIndexed }

        private sealed class Parser
        {
            private readonly byte[] data;
            private readonly int end;
            private int pos;
            private int line = 1;

            private Token token;
            private int tokenLine;
            private int tokenIndex;

            /// <summary>The bytes of the keyword's strings being read, escapes decoded; reused.</summary>
            private byte[] text = new byte[256];
            private int textLength;
            private bool escapedHighByte;

            private bool pendingFuzzy;
            private readonly List<PoEntry> entries = new List<PoEntry>();
            /// <summary>Every live pair read, header included (-1), with its index in entries.</summary>
            private readonly Dictionary<PoPair, int> pairs = new Dictionary<PoPair, int>(PoPair.Comparer);
            private string header;

            public Parser(byte[] data, int length)
            {
                this.data = data;
                end = length;
            }

            public PoCatalog Run()
            {
                try
                {
                    if (end >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) pos = 3;
                    int bad = FirstBadByte(data, pos, end);
                    if (bad >= 0) throw new Failure(LineAt(bad), data[bad] == 0 ? PoProblem.NulCharacter : PoProblem.InvalidUtf8);
                    NextToken();
                    while (token != Token.End) ReadEntry();
                    return new PoCatalog(entries, header, pairs);
                }
                catch (Failure failure)
                {
                    return new PoCatalog(failure.Refusal);
                }
            }

            private int LineAt(int position)
            {
                int n = 1;
                for (int i = 0; i < position; i++)
                    if (data[i] == (byte)'\n') n++;
                return n;
            }

            private void ReadEntry()
            {
                var entry = new PoEntry { Line = tokenLine, Fuzzy = pendingFuzzy };
                pendingFuzzy = false;
                if (token == Token.Context) entry.Context = Strings();
                Expect(Token.Id, entry.Line);
                entry.Id = Strings();
                if (token == Token.IdPlural)
                {
                    Strings();
                    entry.Plural = true;
                    entry.Str = "";
                    Expect(Token.StrIndexed, entry.Line);
                    while (token == Token.StrIndexed)
                    {
                        int index = tokenIndex;
                        string form = Strings();
                        if (index == 0) entry.Str = form;
                    }
                }
                else
                {
                    Expect(Token.Str, entry.Line);
                    entry.Str = Strings();
                }

                var pair = new PoPair(entry.Context, entry.Id);
                if (pairs.ContainsKey(pair)) throw new Failure(entry.Line, PoProblem.DuplicateEntry);
                if (entry.Context == null && entry.Id.Length == 0)
                {
                    if (!CharsetIsUtf8(entry.Str)) throw new Failure(entry.Line, PoProblem.UnsupportedCharset);
                    header = entry.Str;
                    pairs.Add(pair, -1);
                }
                else
                {
                    pairs.Add(pair, entries.Count);
                    entries.Add(entry);
                }
            }

            /// <summary>The current token must be the one wanted; at the end of the file the entry's line is named.</summary>
            private void Expect(Token wanted, int entryLine)
            {
                if (token != wanted) throw new Failure(token == Token.End ? entryLine : tokenLine, PoProblem.Syntax);
            }

            private static bool CharsetIsUtf8(string headerText)
            {
                int at = headerText.IndexOf("charset=", StringComparison.Ordinal);
                if (at < 0) return true;
                int start = at + 8, stop = start;
                while (stop < headerText.Length && " \t\r\n;".IndexOf(headerText[stop]) < 0) stop++;
                string charset = headerText.Substring(start, stop - start);
                foreach (string accepted in new[] { "", "UTF-8", "utf8", "ASCII", "CHARSET" })
                    if (string.Equals(charset, accepted, StringComparison.OrdinalIgnoreCase)) return true;
                return false;
            }

            /// <summary>
            /// Reads the one or more strings that follow a keyword, joined and
            /// decoded, and moves on to the next token.
            /// </summary>
            private string Strings()
            {
                int keywordLine = tokenLine;
                textLength = 0;
                escapedHighByte = false;
                int count = 0;
                while (true)
                {
                    SkipBlanks();
                    if (pos >= end || data[pos] != (byte)'"') break;
                    ReadQuoted();
                    count++;
                }
                if (count == 0) throw new Failure(keywordLine, PoProblem.Syntax);
                // Raw bytes were checked with the whole file; only escapes can have made a bad sequence.
                if (escapedHighByte && FirstBadByte(text, 0, textLength) >= 0)
                    throw new Failure(keywordLine, PoProblem.InvalidUtf8);
                string result = textLength == 0 ? "" : Encoding.UTF8.GetString(text, 0, textLength);
                NextToken();
                return result;
            }

            /// <summary>Reads one quoted string, from its opening quote to its closing one.</summary>
            private void ReadQuoted()
            {
                int startLine = line;
                pos++;
                while (true)
                {
                    int run = pos;
                    while (pos < end)
                    {
                        byte b = data[pos];
                        if (b == (byte)'"' || b == (byte)'\\' || b == (byte)'\n' || b == 4) break;
                        pos++;
                    }
                    Put(data, run, pos - run);
                    if (pos >= end || data[pos] == (byte)'\n') throw new Failure(startLine, PoProblem.UnterminatedString);
                    byte stop = data[pos];
                    if (stop == 4) throw new Failure(line, PoProblem.ContextSeparator);
                    if (stop == (byte)'"')
                    {
                        pos++;
                        return;
                    }
                    Escape(startLine);
                }
            }

            /// <summary>Decodes the escape at the backslash under pos.</summary>
            private void Escape(int stringLine)
            {
                pos++;
                if (pos >= end) throw new Failure(stringLine, PoProblem.UnterminatedString);
                byte c = data[pos++];
                switch (c)
                {
                    case (byte)'n': PutByte(10); return;
                    case (byte)'t': PutByte(9); return;
                    case (byte)'r': PutByte(13); return;
                    case (byte)'a': PutByte(7); return;
                    case (byte)'b': PutByte(8); return;
                    case (byte)'f': PutByte(12); return;
                    case (byte)'v': PutByte(11); return;
                    case (byte)'\\':
                    case (byte)'"':
                    case (byte)'?':
                    case (byte)'\'':
                        PutByte(c);
                        return;
                    case (byte)'\n':
                        line++;
                        return;
                    case (byte)'\r':
                        if (pos < end && data[pos] == (byte)'\n')
                        {
                            pos++;
                            line++;
                            return;
                        }
                        break;
                    case (byte)'x':
                    {
                        int value = 0, digits = 0;
                        while (pos < end && HexDigit(data[pos]) >= 0)
                        {
                            // Every digit is taken, as gettext does; past 0xFFF the value only grows.
                            if (value <= 0xFFF) value = value * 16 + HexDigit(data[pos]);
                            pos++;
                            digits++;
                        }
                        if (digits == 0) break;
                        PutEscaped(value);
                        return;
                    }
                    default:
                        if (c >= (byte)'0' && c <= (byte)'7')
                        {
                            int value = c - '0';
                            for (int k = 0; k < 2 && pos < end && data[pos] >= (byte)'0' && data[pos] <= (byte)'7'; k++)
                                value = value * 8 + (data[pos++] - '0');
                            PutEscaped(value);
                            return;
                        }
                        break;
                }
                throw new Failure(line, PoProblem.UnknownEscape);
            }

            private static int HexDigit(byte b)
            {
                if (b >= (byte)'0' && b <= (byte)'9') return b - '0';
                if (b >= (byte)'a' && b <= (byte)'f') return b - 'a' + 10;
                if (b >= (byte)'A' && b <= (byte)'F') return b - 'A' + 10;
                return -1;
            }

            private void PutEscaped(int value)
            {
                if (value > 0xFF) throw new Failure(line, PoProblem.EscapeOutOfRange);
                if (value == 0) throw new Failure(line, PoProblem.NulCharacter);
                if (value == 4) throw new Failure(line, PoProblem.ContextSeparator);
                if (value >= 0x80) escapedHighByte = true;
                PutByte((byte)value);
            }

            private void PutByte(byte b)
            {
                if (textLength == text.Length) Grow(1);
                text[textLength++] = b;
            }

            private void Put(byte[] source, int offset, int count)
            {
                if (count > text.Length - textLength) Grow(count);
                Buffer.BlockCopy(source, offset, text, textLength, count);
                textLength += count;
            }

            private void Grow(int more)
            {
                // A string cannot hold more bytes than the file, which fits in an array.
                long capacity = Math.Max((long)textLength + more, 2L * text.Length);
                var grown = new byte[Math.Min(capacity, int.MaxValue - 64)];
                Buffer.BlockCopy(text, 0, grown, 0, textLength);
                text = grown;
            }

            /// <summary>Passes over white space, line ends and comments, noting fuzzy flags.</summary>
            private void SkipBlanks()
            {
                while (pos < end)
                {
                    byte b = data[pos];
                    if (b == (byte)'\n')
                    {
                        line++;
                        pos++;
                    }
                    else if (b == (byte)' ' || b == (byte)'\t' || b == (byte)'\r' || b == 12 || b == 11) pos++;
                    else if (b == (byte)'#') Comment();
                    else return;
                }
            }

            /// <summary>
            /// A comment up to its line end. "#," holds flags, of which
            /// "fuzzy" marks the next entry; "#~" lines belong to an obsolete
            /// entry, which takes the flags seen before it.
            /// </summary>
            private void Comment()
            {
                int start = pos;
                int stop = Array.IndexOf(data, (byte)'\n', start, end - start);
                if (stop < 0) stop = end;
                pos = stop;
                if (stop - start < 2) return;
                if (data[start + 1] == (byte)'~') pendingFuzzy = false;
                else if (data[start + 1] == (byte)',')
                {
                    string flags = Encoding.UTF8.GetString(data, start + 2, stop - start - 2);
                    foreach (string flag in flags.Split(','))
                        if (flag.Trim() == "fuzzy") pendingFuzzy = true;
                }
            }

            /// <summary>Reads the next keyword, or notes the end of the file.</summary>
            private void NextToken()
            {
                SkipBlanks();
                tokenLine = line;
                if (pos >= end)
                {
                    token = Token.End;
                    return;
                }
                // A string here has no keyword before it; a word longer than any keyword is none.
                int start = pos;
                while (pos < end && pos - start <= 12 && (IsLetter(data[pos]) || data[pos] == (byte)'_'))
                    pos++;
                if (Word(start, "msgctxt")) token = Token.Context;
                else if (Word(start, "msgid")) token = Token.Id;
                else if (Word(start, "msgid_plural")) token = Token.IdPlural;
                else if (Word(start, "msgstr"))
                {
                    while (pos < end && (data[pos] == (byte)' ' || data[pos] == (byte)'\t')) pos++;
                    token = Token.Str;
                    if (pos >= end || data[pos] != (byte)'[') return;
                    pos++;
                    int index = 0, digits = 0;
                    while (pos < end && data[pos] >= (byte)'0' && data[pos] <= (byte)'9')
                    {
                        if (index < 100000000) index = index * 10 + (data[pos] - '0');
                        pos++;
                        digits++;
                    }
                    if (digits == 0 || pos >= end || data[pos] != (byte)']') throw new Failure(line, PoProblem.Syntax);
                    pos++;
                    token = Token.StrIndexed;
                    tokenIndex = index;
                }
                else throw new Failure(line, PoProblem.Syntax);
            }

            /// <summary>True when the bytes from start to pos are the keyword.</summary>
            private bool Word(int start, string keyword)
            {
                if (pos - start != keyword.Length) return false;
                for (int i = 0; i < keyword.Length; i++)
                    if (data[start + i] != (byte)keyword[i]) return false;
                return true;
            }

            private static bool IsLetter(byte b)
            {
                return (b >= (byte)'a' && b <= (byte)'z') || (b >= (byte)'A' && b <= (byte)'Z');
            }
        }
    }
}
