// Import's walk over an export it leaves as it is: each text takes its line, and edits of those lines are noted.
using System;
using System.Collections.Generic;

namespace tool
{
    /// <summary>
    /// Import's use of a walk over an export it leaves unchanged but whose
    /// texts extraction writes: each text takes its line, so that every later
    /// line still reaches its own text. A line that differs from the text as
    /// extraction writes it is an edit that is not compiled; its number
    /// (from 1) goes to IgnoredEdits. Running out of lines is reported once
    /// the walk is over, so that its "Error: {0}" lines and a damaged
    /// package still come first.
    /// </summary>
    public sealed class LineCountingSink : PropertySink
    {
        private readonly byte[] package;
        private readonly IReadOnlyList<string> lines;
        private readonly List<int> ignoredEdits;
        private readonly bool literal;
        private bool linesRanOut;

        public int LineCount;

        public LineCountingSink(byte[] package, IReadOnlyList<string> lines, int lineCount, List<int> ignoredEdits,
            Action<long> walkErrors, bool literal = false) : base(walkErrors)
        {
            this.literal = literal;
            this.package = package;
            this.lines = lines;
            this.ignoredEdits = ignoredEdits;
            LineCount = lineCount;
        }

        public override void StringValue(string name, bool isText, long sizeField, int length, long valueStart, long byteCount)
        {
            if (!isText || linesRanOut) return;
            if (LineCount >= lines.Count)
            {
                linesRanOut = true;
                return;
            }
            string text = tool.StringValue.Decode(package, valueStart, length, byteCount);
            string asWritten = literal ? text : TextFile.EscapeLine(text);
            var textFile = lines as TextLines;
            bool same = textFile != null ? textFile.Matches(LineCount, asWritten) : lines[LineCount] == asWritten;
            if (!same) ignoredEdits.Add(LineCount + 1);
            LineCount++;
        }

        public override void WalkEnd()
        {
            if (linesRanOut) throw new TooFewLinesException();
        }
    }
}
