// A package's name table: each name decoded when it is first looked up, and what each name means to a property walk.
using System.Collections;
using System.Collections.Generic;

namespace tool
{
    /// <summary>
    /// A package's name table as a map from signed 64-bit key to name: the
    /// entry at position i under key i, so a look-up is an index into an
    /// array. A package's table keeps where each entry's text lies in the
    /// package and decodes it (<see cref="StringValue.DecodeEightBit"/>) when
    /// it is first looked up, keeping it from then on. A table made from any
    /// map by <see cref="Of"/> keeps the keys 0 to count - 1 in the same way
    /// and any others in a map beside it. For the property walks it also
    /// keeps, per name, what the name means as a property name and as a type
    /// name, worked out the first time the name is met, so that a tag costs
    /// no string comparison. Names and meanings are kept in pages of
    /// <see cref="PageSize"/> entries, each made when one of its entries is
    /// first looked up: a table of millions of names, of which a walk meets
    /// a few, costs 4 bytes a name and no large array of references for the
    /// collector to go through.
    /// </summary>
    public sealed class NameTable : IReadOnlyDictionary<long, string>
    {
        /// <summary>Bits of <see cref="Meaning"/>.</summary>
        public const int Known = 1;
        /// <summary>The name is "None".</summary>
        public const int None = 2;
        /// <summary>A string property of this name is a text in 8-bit form.</summary>
        public const int Text8 = 4;
        /// <summary>A string property of this name is a text in UTF-16 form.</summary>
        public const int Text16 = 8;
        /// <summary>The name, as a type name, is a "Subtitles" or "LocalizedSubtitles" row.</summary>
        public const int ArrayRow = 16;
        /// <summary>The type name's <see cref="PropertyKind"/> stands from this bit on.</summary>
        public const int KindShift = 5;
        /// <summary>The type name's fixed byte count stands from this bit on.</summary>
        public const int FixedShift = 8;

        private const int PageBits = 9;
        /// <summary>Entries of a page: its arrays stay small objects.</summary>
        private const int PageSize = 1 << PageBits;

        /// <summary>Names and meanings of PageSize consecutive keys.</summary>
        private sealed class Page
        {
            /// <summary>
            /// Names by key: decoded on first look-up for a package's table;
            /// for a table made from a map, null where a key has no name.
            /// </summary>
            public readonly string[] Names = new string[PageSize];
            /// <summary>Meanings by key; 0 until worked out.</summary>
            public readonly int[] Meanings = new int[PageSize];
        }

        /// <summary>The package the entries lie in; null for a table made from a map.</summary>
        private readonly byte[] package;
        /// <summary>Where each entry's text starts in package, after its 32-bit length.</summary>
        private readonly int[] starts;
        /// <summary>The keys 0 to count - 1; pages not made yet are null.</summary>
        private readonly Page[] pages;
        /// <summary>Names whose keys lie outside 0 to count - 1; null when there are none.</summary>
        private readonly Dictionary<long, string> others;
        private readonly int count;

        /// <summary>
        /// A table whose entry i is the text at starts[i] in package, as many
        /// bytes as the 32-bit length before it says (checked to lie in it).
        /// </summary>
        public NameTable(byte[] package, int[] starts)
        {
            this.package = package;
            this.starts = starts;
            count = starts.Length;
            pages = new Page[(count + PageSize - 1) >> PageBits];
        }

        private NameTable(int count)
        {
            this.count = count;
            pages = new Page[(count + PageSize - 1) >> PageBits];
            others = new Dictionary<long, string>();
        }

        /// <summary>
        /// names itself when it is a NameTable, otherwise a table with the
        /// same keys and names (the keys 0 to count - 1 in pages, any others
        /// in a map).
        /// </summary>
        public static NameTable Of(IReadOnlyDictionary<long, string> names)
        {
            var table = names as NameTable;
            if (table != null) return table;
            int n = names.Count;
            table = new NameTable(n);
            foreach (KeyValuePair<long, string> entry in names)
            {
                if (entry.Key >= 0 && entry.Key < n && entry.Value != null)
                    table.PageOf(entry.Key).Names[entry.Key & (PageSize - 1)] = entry.Value;
                else
                    table.others[entry.Key] = entry.Value;
            }
            return table;
        }

        /// <summary>The page of key, from 0 to count - 1, made if need be.</summary>
        private Page PageOf(long key)
        {
            Page page = pages[key >> PageBits];
            if (page == null) page = pages[key >> PageBits] = new Page();
            return page;
        }

        /// <summary>The name under key, or null.</summary>
        public string NameAt(long key)
        {
            if ((ulong)key < (ulong)count)
            {
                Page page = PageOf(key);
                int at = (int)key & (PageSize - 1);
                string name = page.Names[at];
                if (name != null) return name;
                if (starts != null) return page.Names[at] = Decode(starts[key]);
            }
            return OtherAt(key);
        }

        private string Decode(int start)
        {
            int length = package[start - 4] | (package[start - 3] << 8) | (package[start - 2] << 16) | (package[start - 1] << 24);
            return StringValue.DecodeEightBit(package, start, length);
        }

        private string OtherAt(long key)
        {
            string name;
            return others != null && others.TryGetValue(key, out name) ? name : null;
        }

        /// <summary>
        /// What the name under key, which is in the table, means to a walk:
        /// <see cref="Known"/> and the bits above. Names met under keys
        /// outside 0 to count - 1 are worked out anew each time.
        /// </summary>
        public int Meaning(long key)
        {
            if ((ulong)key < (ulong)count)
            {
                Page page = PageOf(key);
                int at = (int)key & (PageSize - 1);
                int meaning = page.Meanings[at];
                if (meaning != 0) return meaning;
                return page.Meanings[at] = MeaningOf(NameAt(key));
            }
            return MeaningOf(NameAt(key));
        }

        /// <summary>What a name means to a walk, by <see cref="PropertyTypes"/>.</summary>
        public static int MeaningOf(string name)
        {
            int fixedBytes;
            PropertyKind kind = PropertyTypes.Classify(name, out fixedBytes);
            int meaning = Known | ((int)kind << KindShift) | (fixedBytes << FixedShift);
            if (name == PropertyTypes.NoneName) meaning |= None;
            if (PropertyTypes.IsTextProperty(name, 1)) meaning |= Text8;
            if (PropertyTypes.IsTextProperty(name, -1)) meaning |= Text16;
            if (PropertyTypes.IsArrayRow(name)) meaning |= ArrayRow;
            return meaning;
        }

        public string this[long key]
        {
            get
            {
                string name = NameAt(key);
                if (name == null) throw new KeyNotFoundException();
                return name;
            }
        }

        public int Count { get { return count; } }

        public bool ContainsKey(long key)
        {
            if (starts != null) return (ulong)key < (ulong)count;
            return NameAt(key) != null;
        }

        public bool TryGetValue(long key, out string value)
        {
            value = NameAt(key);
            return value != null;
        }

        public IEnumerable<long> Keys
        {
            get { foreach (KeyValuePair<long, string> entry in this) yield return entry.Key; }
        }

        public IEnumerable<string> Values
        {
            get { foreach (KeyValuePair<long, string> entry in this) yield return entry.Value; }
        }

        public IEnumerator<KeyValuePair<long, string>> GetEnumerator()
        {
            for (int i = 0; i < count; i++)
            {
                string name = NameAt(i);
                if (name != null) yield return new KeyValuePair<long, string>(i, name);
            }
            if (others != null)
                foreach (KeyValuePair<long, string> entry in others) yield return entry;
        }

        IEnumerator IEnumerable.GetEnumerator()
        {
            return GetEnumerator();
        }
    }
}
