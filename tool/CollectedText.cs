using System.Collections.Generic;
using System.Text;

namespace tool
{
    /// <summary>
    /// The lines that extraction gathers for one package, in the text file's
    /// form (line feeds escaped, CR LF after each), with a note of every line
    /// whose value holds a carriage return, which the file cannot carry.
    /// </summary>
    public sealed class CollectedText
    {
        private readonly StringBuilder text = new StringBuilder();
        private readonly List<int> carriageReturnLines = new List<int>();

        /// <summary>Lines appended so far.</summary>
        public int LineCount { get; private set; }

        /// <summary>Numbers, counted from 1, of the lines whose value holds a carriage return.</summary>
        public IList<int> CarriageReturnLines { get { return carriageReturnLines.AsReadOnly(); } }

        /// <summary>Appends one value as one line.</summary>
        public void AddLine(string value)
        {
            LineCount++;
            if (value.IndexOf('\r') >= 0) carriageReturnLines.Add(LineCount);
            TextFile.AppendLine(text, value);
        }

        /// <summary>The whole text, ready for <see cref="TextFile.Encode"/>.</summary>
        public override string ToString()
        {
            return text.ToString();
        }
    }
}
