// Extraction's use of a walk: the value of every text property becomes a line of the text file.
using System;

namespace tool
{
    /// <summary>Extraction's use of a walk: the value of every text property becomes a line.</summary>
    public sealed class ExtractionSink : PropertySink
    {
        private readonly byte[] package;
        private readonly CollectedText texts;

        /// <summary>A sink that appends the texts read from package to texts; the walk's errors go to walkErrors.</summary>
        public ExtractionSink(byte[] package, CollectedText texts, Action<long> walkErrors) : base(walkErrors)
        {
            this.package = package;
            this.texts = texts;
        }

        public override void StringValue(string name, bool isText, long sizeField, int length, long valueStart, long byteCount)
        {
            if (isText)
                texts.AddStoredLine(package, valueStart, length, byteCount);
        }
    }
}
