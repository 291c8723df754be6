using System;
using System.Collections.Generic;

namespace tool
{
    /// <summary>How many entries of one kind went unused, and the PO line of the first of them (0 when none).</summary>
    public struct PoTally
    {
        public int Count;
        public int FirstLine;

        internal void Add(int line)
        {
            if (Count++ == 0) FirstLine = line;
        }
    }

    /// <summary>What compiling a PO gives: a text per package text, and the unused entries counted by kind.</summary>
    public sealed class PoLookupResult
    {
        /// <summary>Per package text, in the order given: its translation, or its current text.</summary>
        public string[] Texts;
        /// <summary>Per package text: the entry whose translation it took, or null.</summary>
        public PoEntry[] Sources;
        /// <summary>Translated entries marked fuzzy.</summary>
        public PoTally Fuzzy;
        /// <summary>Translated entries whose key is a text's but whose msgid is no longer that text.</summary>
        public PoTally Outdated;
        /// <summary>Translated entries whose key no text has.</summary>
        public PoTally Unmatched;
        /// <summary>Entries with plural forms, which no text takes.</summary>
        public PoTally Plural;
    }

    /// <summary>
    /// gettext's own lookup for compiling a PO: a text takes the msgstr of
    /// the live entry with its key as msgctxt and its current text as msgid,
    /// when that msgstr is not empty and the entry is not fuzzy; otherwise it
    /// keeps its current text. Entries without a translation are never
    /// counted as unused; plural entries always are. Hash-based, linear.
    /// </summary>
    public static class PoLookup
    {
        /// <summary>keys and texts: the package's texts in walk order, each with its key.</summary>
        public static PoLookupResult Apply(IList<string> keys, IList<string> texts, PoCatalog catalog)
        {
            if (keys.Count != texts.Count) throw new ArgumentException("one key per text");
            if (catalog.Refusal != null) throw new ArgumentException("the catalogue was refused");
            List<PoEntry> entries = catalog.Entries;

            var result = new PoLookupResult { Texts = new string[texts.Count], Sources = new PoEntry[texts.Count] };
            var matched = new bool[entries.Count];
            for (int t = 0; t < texts.Count; t++)
            {
                result.Texts[t] = texts[t];
                int index;
                if (!catalog.Pairs.TryGetValue(new PoPair(keys[t], texts[t]), out index) || index < 0) continue;
                PoEntry entry = entries[index];
                if (entry.Plural) continue;
                matched[index] = true;
                if (entry.Str.Length > 0 && !entry.Fuzzy)
                {
                    result.Texts[t] = entry.Str;
                    result.Sources[t] = entry;
                }
            }

            // Whether a translation no text took is outdated or matches nothing depends on whether
            // its key is a text's: only the keys of such entries are hashed (few, as a rule).
            var unusedKeys = new Dictionary<string, bool>();
            for (int i = 0; i < entries.Count; i++)
                if (Unused(entries[i], matched[i]) && entries[i].Context != null) unusedKeys[entries[i].Context] = false;
            if (unusedKeys.Count > 0)
                foreach (string key in keys)
                    if (unusedKeys.ContainsKey(key)) unusedKeys[key] = true;

            for (int i = 0; i < entries.Count; i++)
            {
                PoEntry entry = entries[i];
                if (entry.Plural) result.Plural.Add(entry.Line);
                else if (entry.Fuzzy && entry.Str.Length > 0) result.Fuzzy.Add(entry.Line);
                else if (!Unused(entry, matched[i])) continue;
                else if (entry.Context != null && unusedKeys[entry.Context]) result.Outdated.Add(entry.Line);
                else result.Unmatched.Add(entry.Line);
            }
            return result;
        }

        /// <summary>A translation, neither fuzzy nor plural, that no text took.</summary>
        private static bool Unused(PoEntry entry, bool matched)
        {
            return !entry.Plural && !entry.Fuzzy && !matched && entry.Str.Length > 0;
        }
    }
}
