// Why the work on a file is given up: every refusal's reason.
namespace tool
{
    /// <summary>Why the work on a file is given up; each has its one console line (Scrivel.refusalLine).</summary>
    public enum Refusal
    {
        /// <summary>A package that does not begin with the package tag.</summary>
        NotSupported,
        /// <summary>A package of another version.</summary>
        UnsupportedGame,
        /// <summary>A package whose flags mark it as compressed.</summary>
        Compressed,
        /// <summary>A package that imports none of the text classes.</summary>
        NoText,
        /// <summary>A package whose bytes do not hold what a read expects.</summary>
        Damaged,
        /// <summary>A text file with fewer lines than the package has texts.</summary>
        TooFewLines,
        /// <summary>An input that is not there (the driver's own test precedes the reading).</summary>
        NotFound,
        /// <summary>An input larger than 2 GB, or more than the memory at hand can hold.</summary>
        TooLarge,
        /// <summary>An input that cannot be read to its end: no permission, an I/O error, a size that changed.</summary>
        CouldNotRead,
        /// <summary>A sound's additional data in a form import cannot rewrite; ends the run.</summary>
        AdditionalData,
        /// <summary>A package whose parts import cannot rebuild: its tables or first export's data out of file order.</summary>
        TablesOutOfOrder,
        /// <summary>A package that import cannot rebuild because its export table is empty.</summary>
        NoExports,
        /// <summary>A compiled package that would pass 2 GB, which no package offset can address.</summary>
        OutputTooLarge,
        /// <summary>A text file too short for its package that is UTF-8 without a mark, not the UTF-16 it must be.</summary>
        NotUtf16,
        /// <summary>An output whose name is longer than a file system takes.</summary>
        NameTooLong
    }
}
