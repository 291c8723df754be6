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
        public const string Damaged = "The file {0} is damaged!";

        // Reading a package's summary and tables.
        public const string FileVersion = "File: {0} ({1})";
        public const string UnsupportedGame = "Unsupported Game!";
        public const string Compressed = "The file {0} is compressed!";
        public const string NoText = "There is no text in the file {0}!";

        // Extraction.
        public const string ExtractionLabel = "Extracting subtitles:";
        public const string WithoutText = "File {0} without text!";

        // Import.
        public const string ImportLabel = "Compiling subtitles";
        public const string AdditionalDataError = "Soundnodewave additional data error!";

        // Writing an output file (text file or compiled package) failed; an earlier file stays.
        public const string CouldNotWrite = "The file {0} could not be written!";
    }
}
