// Extraction: a package's texts written into its text file (extractAll, extractPackage).
using System;
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
            PackageTables tables = readForExtraction(package, file.Name);
            string textName = Path.GetFileNameWithoutExtension(file.Name) + ".txt";
            string textPath = Path.Combine(file.Directory, textName);
            // The lines go to the text file's temporary file as they are
            // found; it takes the text file's place only once all is well.
            using (PendingFile output = PendingFile.Begin(textPath))
            {
                var texts = new CollectedText(output.Output, CollectedText.PassedBlockSize);
                // One walker for all exports: the walk of one export is the
                // walk of extractPackage, without new objects for each.
                PropertyWalker walker = null;
                walkTextExports(package, tables, Messages.ExtractionLabel, (upkReader, k, endPos) =>
                {
                    if (walker == null)
                        walker = new PropertyWalker(upkReader, tables.NameTable, new ExtractionSink(package, texts, printWalkError));
                    walker.Walk(endPos);
                });

                if (texts.LineCount == 0)
                {
                    ConsoleOut.WriteLine(string.Format(Messages.WithoutText, file.Name));
                    return;
                }
                foreach (int line in texts.CarriageReturnLines)
                    ConsoleOut.WriteLine(string.Format(Messages.CarriageReturnWarning, textName, line));
                texts.Finish();
                if (!writeOutput(textPath, output.Commit))
                    return;
            }
            ConsoleOut.WriteLine(string.Format(Messages.Extracted, file.Name));
        }

        /// <summary>Reads a package's tables for extraction, printing its version line as soon as it is read.</summary>
        private static PackageTables readForExtraction(byte[] package, string packageName)
        {
            return PackageReader.Read(package, ReadingRules.Extraction, version =>
                ConsoleOut.WriteLine(string.Format(Messages.FileVersion, packageName,
                    version.ToString(System.Globalization.CultureInfo.InvariantCulture))));
        }

        /// <summary>
        /// Walks the export table in order with the progress display under
        /// label (none when label is null) and hands every export of a text
        /// class to walkExport with a reader at the start of its properties
        /// (after the 4 bytes that begin its serial data, which are not
        /// properties), its index and the end of its data.
        /// </summary>
        private static void walkTextExports(byte[] package, PackageTables tables, string label,
            Action<ByteReader, int, long> walkExport)
        {
            var upkReader = new ByteReader(package);
            var progress = label == null ? null : ProgressReport.Start(label, tables.Exports.Count);
            long[] readLimits = WalkedRanges.ReadLimits(tables.Exports, upkReader.Length);
            for (int k = 0; k < tables.Exports.Count; k++)
            {
                if (progress != null) progress.BeforeEntry(k);
                ExportEntry export = tables.Exports[k];
                if (!TextClasses.IsExtracted(export.ClassName)) continue;
                long endPos = export.RequireSerialRange(upkReader.Length);
                upkReader.Position = export.SerialOffset;
                upkReader.Limit = readLimits[k];
                upkReader.Skip(4);
                walkExport(upkReader, k, endPos);
            }
            upkReader.Limit = upkReader.Length;
            if (progress != null) progress.Finish();
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
