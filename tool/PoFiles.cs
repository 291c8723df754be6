// PO files: a template from a package, a PO file from a text file, a PO file compiled into the package.
using System;
using System.Collections.Generic;
using System.IO;

namespace tool
{
    public static partial class Scrivel
    {
        /// <summary>
        /// /po Foo.upk: extracts the texts of a package into the PO template
        /// Foo.pot beside it, replacing an earlier one; one entry per text,
        /// in the text file's order, every msgstr empty.
        /// </summary>
        public static void extractTemplate(FileDescription file)
        {
            reportRefusals(file.Name, null, () => extractTemplateFile(file));
        }

        private static void extractTemplateFile(FileDescription file)
        {
            byte[] package = InputFile.ReadWhole(file.FullPath, file.Name);
            PackageTables tables = readForExtraction(package, file.Name);
            PoTexts texts = keyedTexts(package, tables, Messages.ExtractionLabel, printWalkError);
            if (texts.Count == 0)
            {
                ConsoleOut.WriteLine(string.Format(Messages.WithoutText, file.Name));
                return;
            }
            string templateName = Path.GetFileNameWithoutExtension(file.Name) + ".pot";
            PoWriter writer = poFile(file.Name, templateName, tables, texts, null);
            if (writer == null) return;
            if (!writeOutput(Path.Combine(file.Directory, templateName), writer.WriteTo)) return;
            ConsoleOut.WriteLine(string.Format(Messages.TemplateWritten, templateName));
        }

        /// <summary>
        /// /po Foo.txt: moves the translation in a text file into the PO file
        /// Foo.po beside it. Lines pair with the package's texts as a compile
        /// pairs them: the k-th line fills the k-th entry, fewer lines than
        /// texts are refused, surplus lines are warned of. A line equal to its
        /// text leaves the entry untranslated. An existing Foo.po is never
        /// replaced.
        /// </summary>
        public static void translateTextFile(FileDescription file)
        {
            string packagePath = packageAt(file.FullPath.Substring(0, file.FullPath.Length - 4) + ".upk");
            if (packagePath == null) return;
            string packageName = Path.GetFileName(packagePath);
            string poName = Path.GetFileNameWithoutExtension(file.Name) + ".po";
            string poPath = Path.Combine(file.Directory, poName);
            if (NewFile.Exists(poPath))
            {
                ConsoleOut.WriteLine(string.Format(Messages.PoExists, poName));
                return;
            }
            reportRefusals(packageName, file.Name, () => translateFile(file, packagePath, packageName, poPath));
        }

        private static void translateFile(FileDescription file, string packagePath, string packageName, string poPath)
        {
            TextLines readTexts;
            bool notUtf16;
            byte[] package = readInputs(file, packagePath, packageName, out readTexts, out notUtf16);
            PackageTables tables = readForExtraction(package, packageName);
            PoTexts texts = keyedTexts(package, tables, Messages.ExtractionLabel, printWalkError);
            if (texts.Count == 0)
            {
                ConsoleOut.WriteLine(string.Format(Messages.WithoutText, packageName));
                return;
            }
            withTextFileForm(notUtf16, () => { if (readTexts.Count < texts.Count) throw new TooFewLinesException(); });

            var translations = new string[texts.Count];
            int uncarried = 0;
            for (int k = 0; k < texts.Count; k++)
            {
                string line = TextFile.UnescapeLine(readTexts[k]);
                if (line == texts.Text(k)) line = "";
                else if (!PoWriter.CanCarry(line))
                {
                    if (PoWriter.CanCarry(texts.Text(k))) uncarried++;
                    line = "";
                }
                translations[k] = line;
            }
            string poName = Path.GetFileName(poPath);
            PoWriter writer = poFile(packageName, poName, tables, texts, translations);
            if (writer == null) return;
            if (uncarried > 0) ConsoleOut.WriteLine(string.Format(Messages.TranslationsLeftOut, file.Name, uncarried));
            if (readTexts.HasTextFrom(texts.Count))
                ConsoleOut.WriteLine(string.Format(Messages.SurplusLines, file.Name, readTexts.Count - texts.Count));
            bool written = false;
            if (!writeOutput(poPath, () => written = NewFile.Write(poPath, writer.WriteTo))) return;
            ConsoleOut.WriteLine(string.Format(written ? Messages.PoWritten : Messages.PoExists, poName));
        }

        /// <summary>
        /// Foo.po, Foo.es.po: compiles a PO file into the package beside it
        /// (Foo.upk; for Foo.es.po, Foo.es.upk if there is one, else Foo.upk)
        /// and writes the result as the package's name followed by ".clxi".
        /// Each text of the package takes the translation of the entry with
        /// its key and its current text as msgid, when that is translated and
        /// not fuzzy, and keeps its original otherwise; the package is then
        /// rebuilt as a text file's compile rebuilds it, from those texts
        /// taken literally. A PO file that cannot be read is refused on one
        /// line naming its line; entries that were not used are counted by
        /// kind before the success line.
        /// </summary>
        public static void compilePo(FileDescription file)
        {
            string packagePath = packageAt(poPackagePath(file.FullPath));
            if (packagePath == null) return;
            string packageName = Path.GetFileName(packagePath);
            byte[] po = null, package = null;
            reportRefusals(packageName, file.Name, () => package = readPoInputs(file, packagePath, packageName, out po));
            if (package == null) return;
            PoCatalog catalog = PoReader.Read(po, po.Length);
            po = null;
            if (catalog.Refusal != null)
            {
                ConsoleOut.WriteLine(string.Format(Messages.PoRefused, file.Name, catalog.Refusal.Line, catalog.Refusal.Describe()));
                return;
            }

            string outputPath = packagePath + ".clxi";
            if (!outputNameFits(outputPath)) return;
            PoLookupResult lookup = null;
            using (PendingFile output = PendingFile.Begin(outputPath))
            {
                bool compiled = false;
                reportRefusals(packageName, file.Name, () =>
                {
                    lookup = compileCatalog(package, catalog, file.Name, output.Output);
                    compiled = true;
                });
                if (!compiled) return;
                package = null;
                if (!writeOutput(outputPath, output.Commit)) return;
            }
            reportUnused(lookup.Fuzzy, Messages.FuzzyEntries, file.Name);
            reportUnused(lookup.Outdated, Messages.OutdatedEntries, file.Name);
            reportUnused(lookup.Unmatched, Messages.UnmatchedEntries, file.Name);
            reportUnused(lookup.Plural, Messages.PluralEntries, file.Name);
            ConsoleOut.WriteLine(string.Format(Messages.Compiled, Path.GetFileName(outputPath)));
        }

        /// <summary>
        /// Looks every text of the package up in the catalogue and rebuilds
        /// the package with the result into output. A text that PO cannot
        /// carry has no key and keeps its original. An ignored edit of a text
        /// that cannot be compiled names the line of the entry it came from.
        /// </summary>
        private static PoLookupResult compileCatalog(byte[] package, PoCatalog catalog, string poName, Stream output)
        {
            PackageTables tables = PackageReader.Read(package, ReadingRules.Import);
            PoTexts texts = keyedTexts(package, tables, null, null);
            texts.MakeKeys(PoKeys.Of(tables));
            var keys = new List<string>(texts.Count);
            var originals = new List<string>(texts.Count);
            for (int k = 0; k < texts.Count; k++)
            {
                if (texts.Key(k) == null) continue;
                keys.Add(texts.Key(k));
                originals.Add(texts.Text(k));
            }
            PoLookupResult lookup = PoLookup.Apply(keys, originals, catalog);
            keys = originals = null;

            var compiledTexts = new string[texts.Count];
            var entryLines = new int[texts.Count];
            for (int k = 0, carried = 0; k < texts.Count; k++)
            {
                compiledTexts[k] = texts.Text(k);
                if (texts.Key(k) == null) continue;
                PoEntry source = lookup.Sources[carried];
                compiledTexts[k] = lookup.Texts[carried];
                entryLines[k] = source == null ? 0 : source.Line;
                carried++;
            }
            int linesUsed;
            compilePackage(package, tables, compiledTexts, true, poName, entryLines, output, out linesUsed);
            return lookup;
        }

        private static void reportUnused(PoTally tally, string message, string poName)
        {
            if (tally.Count > 0) ConsoleOut.WriteLine(string.Format(message, poName, tally.Count, tally.FirstLine));
        }

        /// <summary>
        /// The package of a PO file: for Foo.po, Foo.upk; for Foo.es.po,
        /// Foo.es.upk when there is anything of that name (in any case on
        /// Unix), else Foo.upk.
        /// </summary>
        private static string poPackagePath(string poPath)
        {
            string stem = poPath.Substring(0, poPath.Length - 3);
            string own = stem + ".upk";
            string name = Path.GetFileName(stem);
            int dot = name.LastIndexOf('.');
            string found;
            if (dot <= 0 || PackageLookup.Find(own, out found) != PackageLookup.Outcome.Missing) return own;
            return stem.Substring(0, stem.Length - (name.Length - dot)) + ".upk";
        }

        /// <summary>The package beside a PO file and the PO file's bytes, each refused on its line as import refuses them.</summary>
        private static byte[] readPoInputs(FileDescription file, string packagePath, string packageName, out byte[] po)
        {
            requirePackage(packagePath);
            po = InputFile.ReadWhole(file.FullPath, file.Name);
            return InputFile.ReadWhole(packagePath, packageName);
        }

        /// <summary>
        /// Every text of the package's text-class exports, in walk order, with
        /// its property path: walked with the progress display under label
        /// and the walk's errors to walkErrors, or silently when they are null.
        /// </summary>
        private static PoTexts keyedTexts(byte[] package, PackageTables tables, string label, Action<long> walkErrors)
        {
            var texts = new PoTexts();
            walkTextExports(package, tables, label, (upkReader, k, endPos) =>
                new PropertyWalker(upkReader, tables.NameTable, new TextPathSink(package, texts, k, walkErrors)).Walk(endPos));
            return texts;
        }

        /// <summary>
        /// A PO file of the package's texts: a header naming the package, then
        /// one entry per text that PO can carry, in walk order, its key as
        /// msgctxt, the text as msgid, translations[k] (null: none) as msgstr,
        /// and a comment naming the export's class and index. Prints a line
        /// for the texts left out, the keys numbered and the exports keyed
        /// by their index. Null, said on a line, when PO can carry no text:
        /// gettext takes a file of a header alone for an empty one.
        /// </summary>
        private static PoWriter poFile(string packageName, string poName, PackageTables tables, PoTexts texts, string[] translations)
        {
            texts.MakeKeys(PoKeys.Of(tables));
            var writer = new PoWriter(packageName, "");
            var entry = new PoEntry();
            int commented = -1;
            for (int k = 0; k < texts.Count; k++)
            {
                if (texts.Key(k) == null) continue;
                int export = texts.Export(k);
                if (export != commented)
                {
                    entry.Comment = entryComment(tables.Exports[export].ClassName, export);
                    commented = export;
                }
                entry.Context = texts.Key(k);
                entry.Id = texts.Text(k);
                entry.Str = translations == null ? "" : translations[k];
                writer.Add(entry);
            }
            if (texts.LeftOut == texts.Count)
            {
                ConsoleOut.WriteLine(string.Format(Messages.NothingForPo, packageName, poName));
                return null;
            }
            if (texts.LeftOut > 0) ConsoleOut.WriteLine(string.Format(Messages.TextsLeftOut, packageName, texts.LeftOut, poName));
            if (texts.Renamed > 0) ConsoleOut.WriteLine(string.Format(Messages.DuplicateKeys, packageName, texts.Renamed));
            if (texts.IndexedExports > 0)
                ConsoleOut.WriteLine(string.Format(Messages.IndexedObjects, packageName, texts.IndexedExports));
            return writer;
        }

        /// <summary>The extracted comment of a text: its export's class and index, and for a class import leaves as it is, that.</summary>
        private static string entryComment(string className, int export)
        {
            string comment = className + ", export " + export;
            if (className == TextClasses.Uncompiled) comment += ": kept as it is in the package; a translation is not compiled";
            return comment;
        }
    }
}
