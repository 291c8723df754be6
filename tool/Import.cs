// Import: a text file compiled into the package beside it (importAll, compilePackage, importPackage).
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
            packagePath = packageAt(packagePath);
            if (packagePath == null) return;
            string packageName = Path.GetFileName(packagePath);
            string outputPath = packagePath + ".clxi";
            if (!outputNameFits(outputPath)) return;
            TextLines readTexts = null;
            bool notUtf16 = false;
            byte[] package = null;
            reportRefusals(packageName, file.Name, () => package = readInputs(file, packagePath, packageName, out readTexts, out notUtf16));
            if (package == null) return;

            int linesUsed = 0;
            using (PendingFile output = PendingFile.Begin(outputPath))
            {
                bool compiled = false;
                reportRefusals(packageName, file.Name, () =>
                {
                    withTextFileForm(notUtf16, () => compilePackage(package, readTexts, file.Name, output.Output, out linesUsed));
                    compiled = true;
                });
                if (!compiled) return;
                package = null;
                if (!writeOutput(outputPath, output.Commit)) return;
            }
            int surplus = readTexts.Count - linesUsed;
            if (readTexts.HasTextFrom(linesUsed))
                ConsoleOut.WriteLine(string.Format(Messages.SurplusLines, file.Name, surplus));
            ConsoleOut.WriteLine(string.Format(Messages.Compiled, Path.GetFileNameWithoutExtension(file.Name) + ".clxi"));
        }

        /// <summary>
        /// The package at expectedPath or, on Unix where nothing has that exact
        /// name, the one file beside it named like it in another case; null,
        /// with the line that says so, where several are.
        /// </summary>
        private static string packageAt(string expectedPath)
        {
            string found;
            if (PackageLookup.Find(expectedPath, out found) != PackageLookup.Outcome.Ambiguous) return found;
            reportOnFreshLine(string.Format(Messages.AmbiguousPackage, Path.GetFileName(expectedPath)));
            return null;
        }

        /// <summary>Whether the output's name is one file systems take; if not, the line that says so.</summary>
        private static bool outputNameFits(string outputPath)
        {
            if (SafeFile.NameFits(outputPath)) return true;
            reportOnFreshLine(string.Format(Messages.NameTooLong, Path.GetFileName(outputPath)));
            return false;
        }

        /// <summary>
        /// Raises the refusal of a text file too short for its package: that it
        /// is not UTF-16 where it reads as UTF-8 without a mark (notUtf16).
        /// </summary>
        private static void withTextFileForm(bool notUtf16, Action work)
        {
            try
            {
                work();
            }
            catch (TooFewLinesException) when (notUtf16)
            {
                // Too few lines because they were read in the wrong encoding.
                throw new RefusalException(Refusal.NotUtf16, "UTF-8 without a byte-order mark");
            }
        }

        /// <summary>
        /// Refuses a package that is missing or not a regular file before its
        /// input (text file or PO file) is read.
        /// </summary>
        private static void requirePackage(string packagePath)
        {
            long packageLength;
            InputFile.Kind packageKind = InputFile.Probe(packagePath, out packageLength);
            if (packageKind != InputFile.Kind.Regular)
                throw new RefusalException(packageKind == InputFile.Kind.Missing ? Refusal.NotFound : Refusal.NotSupported,
                    packagePath);
        }

        /// <summary>
        /// The package beside the text file and the text file's lines, each
        /// input refused on its line when it is missing, not a regular file,
        /// too large or unreadable. The lines are split only as far as the
        /// package takes them.
        /// </summary>
        private static byte[] readInputs(FileDescription file, string packagePath, string packageName,
            out TextLines readTexts, out bool notUtf16)
        {
            requirePackage(packagePath);
            byte[] textBytes = InputFile.ReadWhole(file.FullPath, file.Name);
            readTexts = new TextLines(textBytes);
            notUtf16 = TextFile.IsUtf8WithoutMark(textBytes);
            return InputFile.ReadWhole(packagePath, packageName);
        }

        /// <summary>
        /// Writes the compiled package into output, a seekable stream that
        /// starts empty: the header and tables as read, every export's data at
        /// its old place, the data of every rewritten export re-serialised
        /// with the lines of readTexts and appended from the package's old
        /// end in table order, and the export table pointed at it. Bytes that
        /// neither the header nor any export covers are zero. The package's
        /// own bytes go out straight from it, each rewritten export through
        /// one reused buffer that passes a large export on as it grows, and
        /// the header last, once its export table is final. Edits of lines
        /// that belong to texts import cannot compile are reported once the
        /// progress line is complete. Prints the
        /// progress display and the walk's messages; raises the refusals of
        /// the reading and the walk, after which output holds no package.
        /// linesUsed is the number of lines the package's texts took. An
        /// output that would pass maxLength bytes (2 GB unless less is given)
        /// is refused before anything is written where a walk can tell.
        /// </summary>
        public static void compilePackage(byte[] package, IReadOnlyList<string> readTexts, string textFileName, Stream output,
            out int linesUsed, long maxLength = ByteWriter.MaxLength)
        {
            compilePackage(package, PackageReader.Read(package, ReadingRules.Import), readTexts, false, textFileName, null,
                output, out linesUsed, maxLength);
        }

        /// <summary>
        /// The same from the package's tables as read for import, with texts
        /// in place of lines when literal (no "{\n}" turned into a line
        /// feed). An ignored edit of text k names line editLines[k] of
        /// textFileName (null: line k + 1).
        /// </summary>
        private static void compilePackage(byte[] package, PackageTables tables, IReadOnlyList<string> readTexts, bool literal,
            string textFileName, int[] editLines, Stream output, out int linesUsed, long maxLength = ByteWriter.MaxLength)
        {
            ImportHeader header = ImportHeader.Of(tables);
            IReadOnlyList<ExportEntry> exports = tables.Exports;
            refuseWhenTooLarge(package, tables, readTexts, literal, maxLength);
            long oldEnd = writeOldPlaces(package, header.End, exports, output);

            var ignoredEdits = new List<int>();
            var progress = ProgressReport.Start(Messages.ImportLabel, exports.Count);
            linesUsed = rewriteExports(package, tables, readTexts, literal, maxLength, output, ignoredEdits, printWalkError,
                progress.BeforeEntry, (k, place, size) =>
                {
                    header.Move(k, place, size);
                    if (place == package.Length) writeZeros(output, oldEnd, package.Length);
                });
            progress.Finish();
            foreach (int line in ignoredEdits)
                ConsoleOut.WriteLine(string.Format(Messages.UncompiledEdit, editLines == null ? line : editLines[line - 1],
                    textFileName));

            header.WriteTo(output, package);
        }

        /// <summary>
        /// Walks every export in table order: a rewritten one is re-serialised
        /// after the package's end into output (rewritten(k, place, size) once
        /// it is made, before it is written out), an uncompiled one counts its
        /// lines. Returns the number of lines used.
        /// </summary>
        private static int rewriteExports(byte[] package, PackageTables tables, IReadOnlyList<string> readTexts,
            bool literal, long maxLength, Stream output, List<int> ignoredEdits, Action<long> walkErrors,
            Action<int> beforeEntry, Action<int, long, long> rewritten)
        {
            IReadOnlyList<ExportEntry> exports = tables.Exports;
            var upkReader = new ByteReader(package);
            var exportWriter = new ByteWriter(16, maxLength);
            long appendPos = package.Length;
            int lineCount = 0;
            long[] readLimits = WalkedRanges.ReadLimits(exports, package.Length);
            var rewriter = new Rewriter(readTexts, literal, exportWriter, upkReader, tables, walkErrors);
            for (int k = 0; k < exports.Count; k++)
            {
                beforeEntry(k);
                ExportEntry export = exports[k];
                export.RequireSerialRange(package.Length);
                upkReader.Limit = readLimits[k];

                if (TextClasses.IsRewritten(export.ClassName))
                {
                    exportWriter.Restart(appendPos, output);
                    rewriteExport(export, exportWriter, upkReader, ref lineCount, appendPos, rewriter);
                    rewritten(k, appendPos, exportWriter.Position - appendPos);
                    exportWriter.Flush();
                    appendPos = exportWriter.Length;
                }
                else if (export.ClassName == TextClasses.Uncompiled)
                {
                    countUncompiledLines(export, readTexts, literal, upkReader, ref lineCount, tables, ignoredEdits,
                        walkErrors);
                }
            }
            return lineCount;
        }

        /// <summary>
        /// One walker and sink that rewrite exports, one after another, from
        /// reader into writer as <see cref="importPackage"/> would.
        /// </summary>
        private sealed class Rewriter
        {
            public readonly PropertyWalker Walker;
            public readonly ImportSink Sink;

            public Rewriter(IReadOnlyList<string> readTexts, bool literal, ByteWriter writer, ByteReader reader,
                PackageTables tables, Action<long> walkErrors)
            {
                Sink = new ImportSink(readTexts, writer, reader, 0, walkErrors, literal);
                Walker = new PropertyWalker(reader, tables.NameTable, Sink);
            }
        }

        /// <summary>
        /// Refuses, before anything is written, a compile whose output would
        /// pass 2 GB. The sizes of the package and the text file cannot tell:
        /// an output holds every byte of the package and, after it, the
        /// rewritten exports with the lines in place of their texts, but which
        /// lines they take, and how many bytes of theirs are texts, only their
        /// walk shows. So where the most the output can come to (the package,
        /// every byte a rewritten export's walk may read, every line) stays
        /// within the limit, nothing more is done; otherwise the exports are
        /// walked once as the compile walks them, into no output. Whatever
        /// else that walk meets is left to the compile, which meets it again
        /// in its place; the "Error: {0}" lines it would print before the
        /// refusal come with it.
        /// </summary>
        private static void refuseWhenTooLarge(byte[] package, PackageTables tables, IReadOnlyList<string> readTexts,
            bool literal, long maxLength)
        {
            IReadOnlyList<ExportEntry> exports = tables.Exports;
            var walkErrors = new List<long>();
            try
            {
                long[] readLimits = WalkedRanges.ReadLimits(exports, package.Length);
                long most = package.Length + mostValueBytes(readTexts);
                for (int k = 0; k < exports.Count; k++)
                {
                    ExportEntry export = exports[k];
                    if (!TextClasses.IsRewritten(export.ClassName)) continue;
                    export.RequireSerialRange(package.Length);
                    most += Math.Max(readLimits[k], (long)export.SerialOffset + export.SerialSize) - export.SerialOffset;
                }
                if (most <= maxLength) return;

                rewriteExports(package, tables, readTexts, literal, maxLength, Stream.Null, new List<int>(), walkErrors.Add,
                    k => { }, (k, place, size) => { });
            }
            catch (OutputTooLargeException)
            {
                foreach (long offset in walkErrors) printWalkError(offset);
                throw;
            }
            catch (Exception)
            {
                // The compile reports it where it meets it.
            }
        }

        /// <summary>The most bytes that the lines can take as UTF-16 values, each with its NUL.</summary>
        private static long mostValueBytes(IReadOnlyList<string> lines)
        {
            var textFile = lines as TextLines;
            if (textFile != null) return 2 * (textFile.FileLength + textFile.Count);
            long bytes = 0;
            foreach (string line in lines) bytes += 2L * (line.Length + 1);
            return bytes;
        }

        /// <summary>
        /// Writes, from headerEnd on, the package's bytes wherever an export's
        /// serial data lies, zeros in the gaps, up to the end of the last
        /// export (which may have no data); returns that end. Exports whose
        /// data lies outside the package are left to the walk, which refuses
        /// the package when it reaches them.
        /// </summary>
        private static long writeOldPlaces(byte[] package, long headerEnd, IReadOnlyList<ExportEntry> exports, Stream output)
        {
            var ranges = new List<KeyValuePair<long, long>>(exports.Count);
            long oldEnd = headerEnd;
            foreach (ExportEntry export in exports)
            {
                long end = (long)export.SerialOffset + export.SerialSize;
                if (export.SerialOffset < 0 || export.SerialSize < 0 || end > package.Length) continue;
                oldEnd = Math.Max(oldEnd, end);
                if (end > headerEnd && export.SerialSize > 0)
                    ranges.Add(new KeyValuePair<long, long>(Math.Max(export.SerialOffset, headerEnd), end));
            }
            ranges.Sort((a, b) => a.Key.CompareTo(b.Key));
            output.Position = headerEnd;
            // Data that follows on without a gap goes out in one write.
            long written = headerEnd, runStart = headerEnd, runEnd = headerEnd;
            foreach (KeyValuePair<long, long> range in ranges)
            {
                if (range.Value <= runEnd) continue;
                if (range.Key > runEnd)
                {
                    written = writeRun(package, runStart, runEnd, output);
                    writeZeros(output, written, range.Key);
                    runStart = range.Key;
                }
                runEnd = range.Value;
            }
            written = writeRun(package, runStart, runEnd, output);
            writeZeros(output, written, oldEnd);
            return oldEnd;
        }

        /// <summary>Writes the package's bytes [from, to) at from; returns to.</summary>
        private static long writeRun(byte[] package, long from, long to, Stream output)
        {
            if (to <= from) return to;
            output.Position = from;
            output.Write(package, (int)from, (int)(to - from));
            return to;
        }

        private static readonly byte[] zeros = new byte[64 * 1024];

        /// <summary>Writes zeros over [from, to) of output; nothing when to is not past from.</summary>
        private static void writeZeros(Stream output, long from, long to)
        {
            if (to <= from) return;
            output.Position = from;
            for (long at = from; at < to; at += zeros.Length)
                output.Write(zeros, 0, (int)Math.Min(zeros.Length, to - at));
        }

        /// <summary>
        /// Re-serialises one export at appendPos, its final place. Whatever
        /// the outermost walk leaves of the old data before the export's end
        /// (it stops at an unknown type reference) is carried over unchanged,
        /// so no byte of the export is lost.
        /// </summary>
        private static void rewriteExport(ExportEntry export, ByteWriter upkWriter, ByteReader upkReader, ref int lineCount,
            long appendPos, Rewriter rewriter)
        {
            long endPos = (long)export.SerialOffset + export.SerialSize;
            upkReader.Position = export.SerialOffset;
            upkWriter.Position = appendPos;
            upkWriter.CopyFrom(upkReader, 4);
            rewriter.Sink.Restart(lineCount);
            try
            {
                rewriter.Walker.Walk(endPos);
            }
            finally
            {
                lineCount = rewriter.Sink.LineCount;
            }
            if (upkReader.Position < endPos)
                upkWriter.CopyFrom(upkReader, endPos - upkReader.Position);
        }

        /// <summary>
        /// An export whose texts extraction writes but import leaves as it is:
        /// each of its texts takes its line (<see cref="LineCountingSink"/>).
        /// </summary>
        private static void countUncompiledLines(ExportEntry export, IReadOnlyList<string> readTexts, bool literal,
            ByteReader upkReader, ref int lineCount, PackageTables tables, List<int> ignoredEdits, Action<long> walkErrors)
        {
            var sink = new LineCountingSink(upkReader.Data, readTexts, lineCount, ignoredEdits, walkErrors, literal);
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
            ref int lineCount, IReadOnlyDictionary<long, string> nameTable, long endPos, uint upkVer)
        {
            importPackage(readTexts, false, upkWriter, upkReader, ref lineCount, nameTable, endPos, printWalkError);
        }

        /// <summary>The same with texts in place of lines when literal, the walk's errors going to walkErrors.</summary>
        private static void importPackage(IReadOnlyList<string> readTexts, bool literal, ByteWriter upkWriter,
            ByteReader upkReader, ref int lineCount, IReadOnlyDictionary<long, string> nameTable, long endPos,
            Action<long> walkErrors)
        {
            var sink = new ImportSink(readTexts, upkWriter, upkReader, lineCount, walkErrors, literal);
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
        /// Writes the line at index lineCount as a UTF-16 string value and
        /// moves lineCount on by one (<see cref="ImportSink.WriteTextLine"/>).
        /// </summary>
        public static void importTextLine(IReadOnlyList<string> stringLines, ByteWriter upkWriter, ref int lineCount)
        {
            ImportSink.WriteTextLine(stringLines, upkWriter, ref lineCount);
        }
    }
}
