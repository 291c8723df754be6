using System;
using System.Collections.Generic;
using System.IO;

namespace tool
{
    public static partial class Scrivel
    {
        /// <summary>Export classes whose property data import re-serialises.</summary>
        public static readonly string[] RewrittenClasses = { "SoundNodeWave", "AttributePresentationDefinition" };

        /// <summary>
        /// A class whose texts extraction writes but import cannot compile:
        /// its exports stay unchanged, yet their lines are used up so that
        /// every later line still reaches its own text.
        /// </summary>
        public const string UncompiledTextClass = "SoundNodeWaveEx";

        /// <summary>
        /// Compiles one text file into the package of the same name beside it
        /// and writes the result as that package's name followed by ".clxi".
        /// A refused, damaged or short file is reported on one line and
        /// nothing is written; the additional-data error reaches the caller.
        /// </summary>
        public static void importAll(FileDescription file)
        {
            string packagePath = file.FullPath.Substring(0, file.FullPath.Length - 4) + ".upk";
            string packageName = Path.GetFileName(packagePath);
            long packageLength;
            InputFile.Kind packageKind = InputFile.Probe(packagePath, out packageLength);
            if (packageKind != InputFile.Kind.Regular)
                throw new InputFileException(packageKind == InputFile.Kind.Missing ? Messages.NotFound : Messages.NotSupported, packageName);
            byte[] textBytes = InputFile.ReadWhole(file.FullPath, file.Name);
            List<string> readTexts = TextFile.ReadLines(textBytes);
            textBytes = null;
            byte[] package = InputFile.ReadWhole(packagePath, packageName);

            ByteWriter compiled;
            try
            {
                compiled = compilePackage(package, packageName, readTexts, file.Name);
            }
            catch (DamagedPackageException)
            {
                reportOnFreshLine(string.Format(Messages.Damaged, packageName));
                return;
            }
            catch (TooFewLinesException)
            {
                reportOnFreshLine(string.Format(Messages.FewerLines, file.Name));
                return;
            }
            if (compiled == null) return;
            package = null;

            string outputPath = packagePath + ".clxi";
            // Straight from the output buffer: a copy of it would double the
            // memory that the largest packages need.
            if (!writeOutput(outputPath, compiled.WriteTo)) return;
            ConsoleOut.WriteLine(string.Format(Messages.Compiled, Path.GetFileNameWithoutExtension(file.Name) + ".clxi"));
        }

        /// <summary>
        /// Builds the compiled package in memory and returns the writer that
        /// holds it: the header and tables as read, every export's data at
        /// its old place, the data of every rewritten export re-serialised
        /// with the lines of readTexts and appended from the package's old
        /// end in table order, and the export table pointed at it. Null
        /// after "Unsupported Game!". Edits of lines that belong to texts
        /// import cannot compile are reported once the progress line is
        /// complete.
        /// Throws DamagedPackageException, TooFewLinesException and
        /// AdditionalDataException; prints the progress display and the
        /// walk's messages.
        /// </summary>
        public static ByteWriter compilePackage(byte[] package, string packageName, List<string> readTexts, string textFileName)
        {
            var upkReader = new ByteReader(package);
            var upkWriter = new ByteWriter(16);
            PackageTables tables = PackageReader.ReadForImport(upkReader, upkWriter, packageName);
            if (tables == null) return null;
            upkWriter = withRoomForOutput(upkWriter, package.Length, tables.Exports, readTexts);

            List<ExportEntry> exports = tables.Exports;
            long appendPos = package.Length;
            int lineCount = 0;
            var ignoredEdits = new List<int>();
            var progress = ProgressReport.Start(Messages.ImportLabel, exports.Count);
            for (int k = 0; k < exports.Count; k++)
            {
                progress.BeforeEntry(k);
                ExportEntry export = exports[k];
                export.RequireSerialRange(package.Length);

                upkReader.Position = export.SerialOffset;
                upkWriter.Position = export.SerialOffset;
                upkWriter.CopyFrom(upkReader, export.SerialSize);

                if (isRewrittenClass(export.ClassName))
                {
                    rewriteExport(export, readTexts, upkWriter, upkReader, ref lineCount, tables, appendPos);
                    appendPos = upkWriter.Position;
                }
                else if (export.ClassName == UncompiledTextClass)
                {
                    useUncompiledLines(export, readTexts, upkReader, ref lineCount, tables, ignoredEdits);
                }
            }
            progress.Finish();
            foreach (int line in ignoredEdits)
                ConsoleOut.WriteLine(string.Format(Messages.UncompiledEdit, line, textFileName));

            foreach (ExportEntry export in exports)
            {
                upkWriter.Position = export.EntryPosition;
                upkWriter.WriteInt32(export.SerialSize);
                upkWriter.WriteInt32(export.SerialOffset);
            }
            return upkWriter;
        }

        /// <summary>
        /// The header written so far, moved into a buffer large enough for
        /// the whole compiled package, so that it never grows (each growth
        /// copies everything written): the package, every rewritten export
        /// once more, and what the lines can add to the texts they replace
        /// (2 bytes per UTF-16 code unit and 2 for the terminator). Only
        /// serial ranges inside the package count, and the exports together
        /// at most once more the package, so a damaged table cannot make it
        /// allocate out of proportion. Where more is needed (exports that
        /// overlap, a walk that runs past its export's end) the buffer grows.
        /// </summary>
        private static ByteWriter withRoomForOutput(ByteWriter header, long packageLength,
            List<ExportEntry> exports, List<string> readTexts)
        {
            long exportBytes = 0;
            foreach (ExportEntry export in exports)
            {
                if (isRewrittenClass(export.ClassName) && export.SerialOffset >= 0 && export.SerialSize > 0
                    && (long)export.SerialOffset + export.SerialSize <= packageLength)
                    exportBytes += export.SerialSize;
            }
            long lineBytes = 0;
            foreach (string line in readTexts)
                lineBytes += 2L * line.Length + 2;
            long room = packageLength + Math.Min(exportBytes, packageLength) + lineBytes + 64;
            var writer = new ByteWriter(Math.Min(room, int.MaxValue - 64));
            writer.WriteBytes(header.ToArray());
            return writer;
        }

        public static bool isRewrittenClass(string className)
        {
            return className == RewrittenClasses[0] || className == RewrittenClasses[1];
        }

        /// <summary>
        /// Re-serialises one export at appendPos, its final place, and points
        /// its entry there. Whatever the outermost walk leaves of the old data
        /// before the export's end (it stops at an unknown type reference) is
        /// carried over unchanged, so no byte of the export is lost.
        /// </summary>
        private static void rewriteExport(ExportEntry export, List<string> readTexts, ByteWriter upkWriter,
            ByteReader upkReader, ref int lineCount, PackageTables tables, long appendPos)
        {
            long endPos = (long)export.SerialOffset + export.SerialSize;
            upkReader.Position = export.SerialOffset;
            upkWriter.Position = appendPos;
            upkWriter.CopyFrom(upkReader, 4);
            importPackage(readTexts, upkWriter, upkReader, ref lineCount, tables.NameTable, endPos, tables.Version);
            if (upkReader.Position < endPos)
                upkWriter.CopyFrom(upkReader, endPos - upkReader.Position);

            long newSize = upkWriter.Position - appendPos;
            if (appendPos > int.MaxValue || newSize > int.MaxValue)
                throw new DamagedPackageException("the compiled package would exceed 2 GB");
            export.SerialOffset = (int)appendPos;
            export.SerialSize = (int)newSize;
        }

        /// <summary>
        /// An export whose texts extraction writes but import leaves as it is:
        /// its texts are counted with extraction's own walk, and each takes
        /// its line. A line that differs from the text is not compiled; its
        /// number (from 1) is added to ignoredEdits.
        /// </summary>
        private static void useUncompiledLines(ExportEntry export, List<string> readTexts, ByteReader upkReader,
            ref int lineCount, PackageTables tables, List<int> ignoredEdits)
        {
            var scratch = new CollectedText();
            upkReader.Position = export.SerialOffset;
            upkReader.Skip(4);
            extractPackage(upkReader, tables.NameTable, scratch, (long)export.SerialOffset + export.SerialSize, tables.Version);
            if (scratch.LineCount == 0) return;

            // Every collected line ends with CR LF and holds no line feed of
            // its own (those are escaped), so each LF ends exactly one line.
            string collected = scratch.ToString();
            int start = 0;
            while (start < collected.Length)
            {
                int lf = collected.IndexOf('\n', start);
                string asWritten = collected.Substring(start, lf - 1 - start);
                start = lf + 1;
                if (lineCount >= readTexts.Count)
                    throw new TooFewLinesException();
                if (readTexts[lineCount] != asWritten)
                    ignoredEdits.Add(lineCount + 1);
                lineCount++;
            }
        }


    }
}
