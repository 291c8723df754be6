// The checks that only one side makes when it reads a package: the one place where extraction and import differ.
namespace tool
{
    /// <summary>
    /// What a reading of a package refuses beyond what every reading
    /// refuses. Both sides make every bounds check: a field, table or count
    /// that does not fit in the file is damage. Extraction alone tests the
    /// tag, the compression flag and that a text class is imported; import
    /// alone needs the parts of the package in file order and at least one
    /// export, for it rebuilds the package from the first export's data on.
    /// </summary>
    public sealed class ReadingRules
    {
        /// <summary>A file that does not begin with the package tag is not supported.</summary>
        public readonly bool TestsTag;
        /// <summary>A package whose flags mark it as compressed is refused.</summary>
        public readonly bool TestsCompression;
        /// <summary>A package that imports none of the text classes is refused before its export table is read.</summary>
        public readonly bool RequiresTextClass;
        /// <summary>
        /// The summary, the name, import and export tables and the first
        /// export's data must follow each other in that order (gaps allowed):
        /// import copies everything before the first export's data as the new
        /// package's header.
        /// </summary>
        public readonly bool RequiresTableOrder;
        /// <summary>An empty export table is refused: the new package's header ends at the first export's data.</summary>
        public readonly bool RequiresExports;

        private ReadingRules(bool extraction)
        {
            TestsTag = TestsCompression = RequiresTextClass = extraction;
            RequiresTableOrder = RequiresExports = !extraction;
        }

        public static readonly ReadingRules Extraction = new ReadingRules(true);
        public static readonly ReadingRules Import = new ReadingRules(false);
    }
}
