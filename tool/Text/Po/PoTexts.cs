// A package's texts in walk order, each with the export it belongs to and its key.
using System.Collections.Generic;

namespace tool
{
    /// <summary>
    /// A package's texts in the order the walks meet them (the order of the
    /// text file's lines), each with its export and property path, and, once
    /// <see cref="MakeKeys"/> has run, its key: the export's ObjectPath, ":"
    /// and the property path, with " #2", " #3" after a key met again. A
    /// text that PO cannot carry (<see cref="PoWriter.CanCarry"/>) has no key
    /// and takes no part in making the others unique.
    /// </summary>
    public sealed class PoTexts
    {
        private readonly List<string> texts = new List<string>();
        private readonly List<string> paths = new List<string>();
        private readonly List<int> exports = new List<int>();
        private string[] keys;

        public int Count { get { return texts.Count; } }

        /// <summary>The k-th text as the package holds it.</summary>
        public string Text(int k) { return texts[k]; }

        /// <summary>The export index of the k-th text.</summary>
        public int Export(int k) { return exports[k]; }

        /// <summary>The key of the k-th text; null when PO cannot carry it.</summary>
        public string Key(int k) { return keys[k]; }

        /// <summary>Texts that PO cannot carry, which have no key.</summary>
        public int LeftOut { get; private set; }

        /// <summary>Keys met again, which a number tells apart.</summary>
        public int Renamed { get; private set; }

        /// <summary>Exports with a carried text whose ObjectPath is "#index".</summary>
        public int IndexedExports { get; private set; }

        public void Add(int export, string propertyPath, string text)
        {
            exports.Add(export);
            paths.Add(propertyPath);
            texts.Add(text);
        }

        /// <summary>Makes every carried text's key, with the exports' ObjectPaths from objectPaths.</summary>
        public void MakeKeys(PoKeys objectPaths)
        {
            var carried = new List<int>(texts.Count);
            var raw = new List<string>(texts.Count);
            int lastIndexed = -1;
            LeftOut = IndexedExports = 0;
            for (int k = 0; k < texts.Count; k++)
            {
                if (!PoWriter.CanCarry(texts[k]))
                {
                    LeftOut++;
                    continue;
                }
                int export = exports[k];
                if (export != lastIndexed && objectPaths.IsIndexed(export))
                {
                    // The texts of one export follow each other.
                    IndexedExports++;
                    lastIndexed = export;
                }
                carried.Add(k);
                raw.Add(objectPaths.ObjectPath(export) + ":" + paths[k]);
            }
            int renamed;
            string[] unique = PoKeys.Disambiguate(raw, out renamed);
            Renamed = renamed;
            keys = new string[texts.Count];
            for (int i = 0; i < carried.Count; i++) keys[carried[i]] = unique[i];
        }
    }
}
