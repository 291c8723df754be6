// Extraction: a package's texts written into its text file (extractAll, extractPackage).
using System.Collections.Generic;
using System.IO;

namespace tool
{
    public static partial class Scrivel
    {
        /// <summary>
        /// Extracts the texts of one package into its text file: reads the
        /// package whole, reads its tables (which may refuse it), then walks
        /// the export table in order with the progress display, running the
        /// property walk over the serial data of every export of a text
        /// class. The collected lines are written in one piece beside the
        /// package (Foo.upk gives Foo.txt), or "without text" is reported.
        /// A refused or damaged package is reported on one line before
        /// anything is written, so an existing text file stays as it is.
        /// </summary>
        public static void extractAll(FileDescription file)
        {
            reportRefusals(file.Name, null, () => extractFile(file));
        }

        private static void extractFile(FileDescription file)
        {
            byte[] package = InputFile.ReadWhole(file.FullPath, file.Name);
            PackageTables tables = PackageReader.Read(package, ReadingRules.Extraction, version =>
                ConsoleOut.WriteLine(string.Format(Messages.FileVersion, file.Name,
                    version.ToString(System.Globalization.CultureInfo.InvariantCulture))));
            var upkReader = new ByteReader(package);

            var texts = new CollectedText();
            var progress = ProgressReport.Start(Messages.ExtractionLabel, tables.Exports.Count);
            long[] readLimits = WalkedRanges.ReadLimits(tables.Exports, upkReader.Length);
            for (int k = 0; k < tables.Exports.Count; k++)
            {
                progress.BeforeEntry(k);
                ExportEntry export = tables.Exports[k];
                if (!TextClasses.IsExtracted(export.ClassName)) continue;
                long endPos = export.RequireSerialRange(upkReader.Length);
                upkReader.Position = export.SerialOffset;
                upkReader.Limit = readLimits[k];
                // The serial data begins with 4 bytes that are not properties.
                upkReader.Skip(4);
                extractPackage(upkReader, tables.NameTable, texts, endPos, tables.Version);
            }
            upkReader.Limit = upkReader.Length;
            progress.Finish();

            if (texts.LineCount == 0)
            {
                ConsoleOut.WriteLine(string.Format(Messages.WithoutText, file.Name));
                return;
            }
            string textName = Path.GetFileNameWithoutExtension(file.Name) + ".txt";
            foreach (int line in texts.CarriageReturnLines)
                ConsoleOut.WriteLine(string.Format(Messages.CarriageReturnWarning, textName, line));
            if (!writeOutput(Path.Combine(file.Directory, textName), texts.WriteTo))
                return;
            ConsoleOut.WriteLine(string.Format(Messages.Extracted, file.Name));
        }

        /// <summary>
        /// The property walk of extraction: reads tags from the reader's
        /// position while it is below endPos and appends the value of every
        /// text property to texts, as <see cref="PropertyWalker"/> describes.
        /// The reader is left after the last byte consumed, which may lie
        /// beyond endPos. upkVer is the package's version; only one is ever
        /// accepted, so nothing depends on it.
        /// </summary>
        public static void extractPackage(ByteReader upkReader, IReadOnlyDictionary<long, string> nameTable,
            CollectedText texts, long endPos, uint upkVer)
        {
            new PropertyWalker(upkReader, nameTable, new ExtractionSink(upkReader.Data, texts, printWalkError)).Walk(endPos);
        }
    }
}
