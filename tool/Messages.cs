// Every text that the tool prints.
namespace tool
{
    /// <summary>
    /// Every text that the tool prints, in one place. "{0}" and "{1}" are
    /// filled with string.Format and the values are inserted unchanged.
    /// </summary>
    public static class Messages
    {
        // The banner: a rule of 41 hyphens, the title, the author line, the rule again.
        public const string BannerRule = "-----------------------------------------";
        public const string BannerTitle = "  Scrivel  - Vantorra - Text Extractor ";
        public const string BannerAuthor = "  Ostrel - v1.0 - 2015.01.15";

        public const string Usage = "USAGE: Drag and drop TXT or UPK file(s) on the executable";

        /// <summary>The closing mark, written without a line break.</summary>
        public const string Done = "..DONE..";

        // Per argument.
        public const string NotSupported = "The file {0} is not supported!";
        public const string ZeroBytes = "The file {0} has zero bytes!";
        public const string NotFound = "File {0} was not found!";
        public const string NoFileAccess = "The file {0} could not be handled because the runtime cannot work with files (a library of it is missing)!";
        public const string Damaged = "The file {0} is damaged!";
        /// <summary>Larger than 2 GB, or more than the memory at hand can hold.</summary>
        public const string TooLarge = "The file {0} is too large to handle!";
        /// <summary>No permission, an I/O error, or a size that changed while it was read.</summary>
        public const string CouldNotRead = "The file {0} could not be read!";
        /// <summary>A fault of the tool itself, not of the file.</summary>
        public const string InternalError = "The file {0} could not be handled because of an internal error!";

        // Reading a package's summary and tables.
        public const string FileVersion = "File: {0} ({1})";
        public const string UnsupportedGame = "Unsupported Game!";
        public const string Compressed = "The file {0} is compressed!";
        public const string NoText = "There is no text in the file {0}!";

        // The property walks: a name that is not in the name table, at a byte offset.
        public const string WalkError = "Error: {0}";

        /// <summary>The walk error line for an offset, in digits whatever the user's locale.</summary>
        public static string WalkErrorAt(long offset)
        {
            return string.Format(WalkError, offset.ToString(System.Globalization.CultureInfo.InvariantCulture));
        }

        // Extraction.
        public const string ExtractionLabel = "Extracting subtitles:";
        public const string Extracted = "Text File {0} successfully extracted!";
        public const string WithoutText = "File {0} without text!";
        /// <summary>{0}: the text file's name; {1}: the line's number counted from 1.</summary>
        public const string CarriageReturnWarning =
            "Warning: line {1} of {0} holds a carriage return, which the text file cannot carry.";

        // Import.
        public const string ImportLabel = "Compiling subtitles";
        public const string AdditionalDataError = "Soundnodewave additional data error!";
        public const string Compiled = "File {0} compiled successfully!";
        public const string SurplusLines = "Warning: {0} has {1} more lines than the package has texts; they were not used.";
        public const string FewerLines = "The file {0} has fewer lines than the package has texts!";
        /// <summary>{0}: the line's number counted from 1; {1}: the text file's name.</summary>
        public const string UncompiledEdit = "Warning: line {0} of {1} belongs to a text that cannot be compiled; the edit is ignored.";
        // A package that extraction reads but import cannot rebuild.
        public const string TablesOutOfOrder = "The file {0} cannot be compiled: its tables are out of order!";
        public const string NoExports = "The file {0} cannot be compiled: its export table is empty!";
        /// <summary>{0}: the package name the text file's name gives.</summary>
        public const string AmbiguousPackage = "There are several packages named {0}, in different upper and lower case: keep only one!";
        public const string NotUtf16 = "The file {0} is not saved as UTF-16: save it as Unicode (UTF-16 LE) and compile it again!";
        public const string NameTooLong = "The file {0} cannot be written: its name is longer than the file system allows!";
        public const string OutputTooLarge = "The file {0} cannot be compiled: the result would be larger than 2 GB!";

        // PO files. {0}: the file written or read; a count and the first entry's PO line follow.
        public const string TemplateWritten = "PO template {0} successfully extracted!";
        public const string PoWritten = "PO file {0} successfully written!";
        public const string PoExists = "The file {0} already exists and was not replaced!";
        /// <summary>{0}: the PO file's name; {1}: the line where reading stopped; {2}: what is wrong there.</summary>
        public const string PoRefused = "The file {0} is not a valid PO file: line {1}: {2}!";
        /// <summary>{0}: the package's name; {1}: the count; {2}: the file written.</summary>
        public const string TextsLeftOut =
            "Warning: {1} texts of {0} hold a character that PO cannot carry (NUL, U+0004 or half a surrogate pair); they are left out of {2}.";
        public const string TranslationsLeftOut =
            "Warning: {1} lines of {0} hold a character that PO cannot carry (NUL, U+0004 or half a surrogate pair); their entries are left untranslated.";
        /// <summary>{0}: the package's name; {1}: the file not written.</summary>
        public const string NothingForPo = "File {0} has no text that PO can carry; {1} was not written!";
        public const string DuplicateKeys = "Warning: {1} keys occur more than once in {0}; #2, #3, ... after them tell them apart.";
        public const string IndexedObjects = "Warning: {1} objects of {0} have no usable name; their keys start with #<export index>.";
        public const string FuzzyEntries = "Warning: fuzzy entries of {0} were not used: {1}, the first at line {2}.";
        public const string OutdatedEntries =
            "Warning: entries of {0} whose original the package no longer holds were not used: {1}, the first at line {2}; update {0} with msgmerge.";
        public const string UnmatchedEntries = "Warning: entries of {0} that match no text of the package were not used: {1}, the first at line {2}.";
        public const string PluralEntries = "Warning: plural entries of {0} were not used: {1}, the first at line {2}.";

        // Writing an output file (text file or compiled package) failed; an earlier file stays.
        public const string CouldNotWrite = "The file {0} could not be written!";
    }
}
