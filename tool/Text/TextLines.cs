using System;
using System.Collections;
using System.Collections.Generic;

namespace tool
{
    /// <summary>
    /// The lines of a decoded text file, split where they are asked for
    /// rather than all at once: import takes them in order, one per text of
    /// the package, so a file of millions of short lines costs its decoded
    /// text and nothing per line it never reaches. Lines end as in
    /// <see cref="TextFile.SplitLines"/>: at CR LF, lone LF and lone CR, with
    /// no empty line after a final line end. Asking in order costs time in
    /// proportion to the text; asking for an earlier line starts over.
    /// </summary>
    public sealed class TextLines : IReadOnlyList<string>
    {
        private readonly string text;
        private readonly int count;
        private int cursorLine;
        private int cursorStart;

        public TextLines(string text)
        {
            this.text = text ?? "";
            int lines = 0;
            for (int start = 0; start < this.text.Length; start = NextStart(start)) lines++;
            count = lines;
        }

        public int Count { get { return count; } }

        /// <summary>The number of characters of all lines together, line ends included.</summary>
        public long TextLength { get { return text.Length; } }

        public string this[int index]
        {
            get
            {
                if (index < 0 || index >= count) throw new ArgumentOutOfRangeException("index");
                if (index < cursorLine)
                {
                    cursorLine = 0;
                    cursorStart = 0;
                }
                while (cursorLine < index)
                {
                    cursorStart = NextStart(cursorStart);
                    cursorLine++;
                }
                return text.Substring(cursorStart, EndOf(cursorStart) - cursorStart);
            }
        }

        /// <summary>Whether a line from index on holds anything; false when there is no such line.</summary>
        public bool HasTextFrom(int index)
        {
            if (index < 0 || index >= count) return false;
            string first = this[index];
            if (first.Length > 0) return true;
            for (int i = cursorStart; i < text.Length; i++)
                if (text[i] != '\r' && text[i] != '\n') return true;
            return false;
        }

        public IEnumerator<string> GetEnumerator()
        {
            for (int start = 0; start < text.Length; start = NextStart(start))
                yield return text.Substring(start, EndOf(start) - start);
        }

        IEnumerator IEnumerable.GetEnumerator()
        {
            return GetEnumerator();
        }

        /// <summary>Where the line that begins at start ends: its CR or LF, or the text's end.</summary>
        private int EndOf(int start)
        {
            int i = start;
            while (i < text.Length && text[i] != '\r' && text[i] != '\n') i++;
            return i;
        }

        /// <summary>Where the line after the one that begins at start begins.</summary>
        private int NextStart(int start)
        {
            int end = EndOf(start);
            if (end >= text.Length) return text.Length;
            if (text[end] == '\r' && end + 1 < text.Length && text[end + 1] == '\n') return end + 2;
            return end + 1;
        }
    }
}
