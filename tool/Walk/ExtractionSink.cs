namespace tool
{
    /// <summary>Extraction's use of a walk: the value of every text property becomes a line.</summary>
    public sealed class ExtractionSink : PropertySink
    {
        private readonly byte[] package;
        private readonly CollectedText texts;

        public ExtractionSink(byte[] package, CollectedText texts)
        {
            this.package = package;
            this.texts = texts;
        }

        public override void StringValue(string name, long sizeField, int length, long valueStart, long byteCount)
        {
            if (PropertyTypes.IsTextProperty(name, length))
                texts.AddStoredLine(package, valueStart, length, byteCount);
        }
    }
}
