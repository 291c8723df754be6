using System.Collections.Generic;

namespace tool
{
    /// <summary>
    /// What <see cref="PoReader.Read"/> makes of a PO file: either its live
    /// entries (header and obsolete entries excluded, in file order, every
    /// (msgctxt, msgid) pair unique) and its header text, or a refusal.
    /// </summary>
    public sealed class PoCatalog
    {
        public readonly List<PoEntry> Entries;
        /// <summary>The header entry's msgstr; null when the file has no header.</summary>
        public readonly string Header;
        /// <summary>Null when the file was read; otherwise Entries is empty.</summary>
        public readonly PoRefusal Refusal;

        /// <summary>Each live pair's index in Entries (-1 for the header); null after a refusal.</summary>
        internal readonly Dictionary<PoPair, int> Pairs;

        internal PoCatalog(List<PoEntry> entries, string header, Dictionary<PoPair, int> pairs)
        {
            Entries = entries;
            Header = header;
            Pairs = pairs;
        }

        internal PoCatalog(PoRefusal refusal)
        {
            Entries = new List<PoEntry>();
            Refusal = refusal;
        }
    }

    /// <summary>The identity of a PO entry, (msgctxt, msgid); a null context differs from an empty one.</summary>
    internal struct PoPair
    {
        public readonly string Context;
        public readonly string Id;

        public PoPair(string context, string id)
        {
            Context = context;
            Id = id;
        }

        public static readonly IEqualityComparer<PoPair> Comparer = new PairComparer();

        private sealed class PairComparer : IEqualityComparer<PoPair>
        {
            public bool Equals(PoPair a, PoPair b)
            {
                return string.Equals(a.Context, b.Context) && string.Equals(a.Id, b.Id);
            }

            public int GetHashCode(PoPair p)
            {
                int context = p.Context == null ? 0x5BD1E995 : p.Context.GetHashCode();
                return unchecked(context * 31 + p.Id.GetHashCode());
            }
        }
    }
}
