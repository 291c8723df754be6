using System;
using System.Collections.Generic;
using System.IO;

namespace tool
{
    public static partial class Scrivel
    {
        /// <summary>
        /// Compiles one text file into the package of the same name beside it
        /// and writes the result as that package's name followed by ".clxi".
        /// A refused, damaged or short file is reported on one line and
        /// nothing is written; the additional-data error is reported and
        /// passed on, for it ends the run.
        /// </summary>
        public static void importAll(FileDescription file)
        {
            string packagePath = file.FullPath.Substring(0, file.FullPath.Length - 4) + ".upk";
            string packageName = Path.GetFileName(packagePath);
            ByteWriter compiled = null;
            TextLines readTexts = null;
            int linesUsed = 0;
            reportRefusals(packageName, file.Name,
                () => compiled = compileFile(file, packagePath, packageName, out readTexts, out linesUsed));
            if (compiled == null) return;

            string outputPath = packagePath + ".clxi";
            // Straight from the output buffer: a copy of it would double the
            // memory that the largest packages need.
            if (!writeOutput(outputPath, compiled.WriteTo)) return;
            int surplus = readTexts.Count - linesUsed;
            if (readTexts.HasTextFrom(linesUsed))
                ConsoleOut.WriteLine(string.Format(Messages.SurplusLines, file.Name, surplus));
            ConsoleOut.WriteLine(string.Format(Messages.Compiled, Path.GetFileNameWithoutExtension(file.Name) + ".clxi"));
        }

        /// <summary>
        /// The compiled package for the text file, from the package at
        /// packagePath, with the file's lines and how many of them the
        /// package's texts took; raises refusals.
        /// </summary>
        private static ByteWriter compileFile(FileDescription file, string packagePath, string packageName,
            out TextLines readTexts, out int linesUsed)
        {
            long packageLength;
            InputFile.Kind packageKind = InputFile.Probe(packagePath, out packageLength);
            if (packageKind != InputFile.Kind.Regular)
                throw new RefusalException(packageKind == InputFile.Kind.Missing ? Refusal.NotFound : Refusal.NotSupported,
                    packagePath);
            byte[] textBytes = InputFile.ReadWhole(file.FullPath, file.Name);
            // Decoded whole, split only as far as the package takes lines.
            readTexts = new TextLines(TextFile.Decode(textBytes));
            textBytes = null;
            byte[] package = InputFile.ReadWhole(packagePath, packageName);
            return compilePackage(package, readTexts, file.Name, out linesUsed);
        }

        /// <summary>
        /// Builds the compiled package in memory and returns the writer that
        /// holds it: the header and tables as read, every export's data at
        /// its old place, the data of every rewritten export re-serialised
        /// with the lines of readTexts and appended from the package's old
        /// end in table order, and the export table pointed at it. Edits of
        /// lines that belong to texts import cannot compile are reported once
        /// the progress line is complete. Prints the progress display and the
        /// walk's messages; raises the refusals of the reading and the walk.
        /// linesUsed is the number of lines the package's texts took.
        /// </summary>
        public static ByteWriter compilePackage(byte[] package, IReadOnlyList<string> readTexts, string textFileName,
            out int linesUsed)
        {
            var upkReader = new ByteReader(package);
            var upkWriter = new ByteWriter(16);
            PackageTables tables = PackageReader.ReadForImport(upkReader, upkWriter);
            upkWriter = withRoomForOutput(upkWriter, package.Length, tables.Exports, readTexts);

            List<ExportEntry> exports = tables.Exports;
            long appendPos = package.Length;
            int lineCount = 0;
            var ignoredEdits = new List<int>();
            var progress = ProgressReport.Start(Messages.ImportLabel, exports.Count);
            long[] readLimits = WalkedRanges.ReadLimits(exports, package.Length);
            copyOldPlaces(exports, upkReader, upkWriter);
            for (int k = 0; k < exports.Count; k++)
            {
                progress.BeforeEntry(k);
                ExportEntry export = exports[k];
                upkReader.Limit = readLimits[k];
                if (TextClasses.IsRewritten(export.ClassName))
                {
                    rewriteExport(export, readTexts, upkWriter, upkReader, ref lineCount, tables, appendPos);
                    appendPos = upkWriter.Position;
                }
                else if (export.ClassName == TextClasses.Uncompiled)
                {
                    countUncompiledLines(export, readTexts, upkReader, ref lineCount, tables, ignoredEdits);
                }
            }
            upkReader.Limit = upkReader.Length;
            progress.Finish();
            linesUsed = lineCount;
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
        /// Every export's serial data, rewritten classes included, copied to
        /// its old place in the output: ranges that overlap are copied once,
        /// so that entries sharing their data cost no more than the data
        /// itself. Every range must lie in the package.
        /// </summary>
        private static void copyOldPlaces(List<ExportEntry> exports, ByteReader upkReader, ByteWriter upkWriter)
        {
            var ranges = new List<KeyValuePair<long, long>>(exports.Count);
            foreach (ExportEntry export in exports)
            {
                long end = export.RequireSerialRange(upkReader.Length);
                if (end > export.SerialOffset) ranges.Add(new KeyValuePair<long, long>(export.SerialOffset, end));
            }
            ranges.Sort((a, b) => a.Key.CompareTo(b.Key));
            long copiedTo = 0;
            foreach (var range in ranges)
            {
                long from = Math.Max(range.Key, copiedTo);
                if (from >= range.Value) continue;
                upkReader.Position = from;
                upkWriter.Position = from;
                upkWriter.CopyFrom(upkReader, range.Value - from);
                copiedTo = range.Value;
            }
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
            List<ExportEntry> exports, IReadOnlyList<string> readTexts)
        {
            long exportBytes = 0;
            foreach (ExportEntry export in exports)
            {
                if (TextClasses.IsRewritten(export.ClassName) && export.SerialOffset >= 0 && export.SerialSize > 0
                    && (long)export.SerialOffset + export.SerialSize <= packageLength)
                    exportBytes += export.SerialSize;
            }
            // The lines count only as far as the rewritten data could take
            // them: a text file of millions of lines that the package never
            // reaches makes no room. Longer lines make the buffer grow.
            long exportRoom = Math.Min(exportBytes, packageLength);
            long lineRoom = 2 * exportRoom + 4096;
            long lineBytes = 0;
            foreach (string line in readTexts)
            {
                if (lineBytes >= lineRoom) break;
                lineBytes += 2L * line.Length + 2;
            }
            long room = packageLength + exportRoom + Math.Min(lineBytes, lineRoom) + 64;
            var writer = new ByteWriter(Math.Min(room, int.MaxValue - 64));
            writer.WriteBytes(header.ToArray());
            return writer;
        }

        /// <summary>
        /// Re-serialises one export at appendPos, its final place, and points
        /// its entry there. Whatever the outermost walk leaves of the old data
        /// before the export's end (it stops at an unknown type reference) is
        /// carried over unchanged, so no byte of the export is lost.
        /// </summary>
        private static void rewriteExport(ExportEntry export, IReadOnlyList<string> readTexts, ByteWriter upkWriter,
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
        /// each of its texts takes its line (<see cref="LineCountingSink"/>).
        /// </summary>
        private static void countUncompiledLines(ExportEntry export, IReadOnlyList<string> readTexts, ByteReader upkReader,
            ref int lineCount, PackageTables tables, List<int> ignoredEdits)
        {
            var sink = new LineCountingSink(upkReader.Data, readTexts, lineCount, ignoredEdits);
            upkReader.Position = export.SerialOffset;
            upkReader.Skip(4);
            new PropertyWalker(upkReader, tables.NameTable, sink).Walk((long)export.SerialOffset + export.SerialSize);
            lineCount = sink.LineCount;
        }

        /// <summary>
        /// Re-serialises one property list from the reader's position up to
        /// endPos into the writer, as <see cref="ImportSink"/> describes: the
        /// k-th text property takes line lineCount of readTexts. It consumes
        /// exactly the bytes that extraction's walk consumes and prints the
        /// same "Error: {0}" lines. upkVer is the package's version; only one
        /// is ever accepted, so nothing depends on it.
        /// </summary>
        public static void importPackage(IReadOnlyList<string> readTexts, ByteWriter upkWriter, ByteReader upkReader,
            ref int lineCount, Dictionary<long, string> nameTable, long endPos, uint upkVer)
        {
            var sink = new ImportSink(readTexts, upkWriter, upkReader, lineCount);
            try
            {
                new PropertyWalker(upkReader, nameTable, sink).Walk(endPos);
            }
            finally
            {
                lineCount = sink.LineCount;
            }
        }

        /// <summary>
        /// Writes the line at index lineCount as a UTF-16 string value with
        /// its size and a zero array index, "{\n}" turned back into a line
        /// feed, and moves lineCount on by one. Code units are written one
        /// for one, so whatever the text file held reaches the package.
        /// </summary>
        public static void importTextLine(IReadOnlyList<string> stringLines, ByteWriter upkWriter, ref int lineCount)
        {
            if (lineCount < 0 || lineCount >= stringLines.Count)
                throw new TooFewLinesException();
            string value = TextFile.UnescapeLine(stringLines[lineCount++]);
            var units = new byte[2 * (value.Length + 1)];
            for (int i = 0, p = 0; i < value.Length; i++, p += 2)
            {
                units[p] = (byte)value[i];
                units[p + 1] = (byte)(value[i] >> 8);
            }
            upkWriter.WriteInt32(units.Length + 4);
            upkWriter.WriteInt32(0);
            upkWriter.WriteInt32(-(units.Length / 2));
            upkWriter.WriteBytes(units);
        }
    }
}
