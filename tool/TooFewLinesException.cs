// The refusal of a text file with fewer lines than the package has texts.
namespace tool
{
    /// <summary>
    /// A text property was met after the last line of the text file had been
    /// used; the import of that text file is abandoned.
    /// </summary>
    public sealed class TooFewLinesException : RefusalException
    {
        public TooFewLinesException()
            : base(Refusal.TooFewLines, "the text file has fewer lines than the package has texts") { }
    }
}
