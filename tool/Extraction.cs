namespace tool
{
    public static partial class Scrivel
    {
        /// <summary>
        /// Extracts the texts of one package into its text file: reads the
        /// package whole, reads its tables (which may refuse it), then walks
        /// the export table in order with the progress display.
        /// </summary>
        public static void extractAll(FileDescription file)
        {
            byte[] package = WholeFile.TryRead(file.FullPath);
            if (package == null)
            {
                ConsoleOut.WriteLine(string.Format(Messages.NotFound, file.Name));
                return;
            }
            var upkReader = new ByteReader(package);
            PackageTables tables = PackageReader.ReadForExtraction(upkReader, file.Name);
            if (tables == null) return;

            var progress = ProgressReport.Start(Messages.ExtractionLabel, tables.Exports.Count);
            for (int k = 0; k < tables.Exports.Count; k++)
            {
                progress.BeforeEntry(k);
                // The property walk of the text-class exports comes here.
            }
            progress.Finish();

            ConsoleOut.WriteLine(string.Format(Messages.WithoutText, file.Name));
        }
    }
}
