namespace tool
{
    /// <summary>
    /// One message of a PO file: its key (msgctxt), the original (msgid) and
    /// the translation (msgstr). The writer takes Context, Id, Str, Fuzzy and
    /// Comment; the reader fills Context, Id, Str, Fuzzy, Plural and Line.
    /// An empty Str means untranslated.
    /// </summary>
    public sealed class PoEntry
    {
        /// <summary>The msgctxt; null when the entry has none (distinct from an empty one).</summary>
        public string Context;
        public string Id;
        /// <summary>The msgstr; for a plural entry, msgstr[0].</summary>
        public string Str;
        public bool Fuzzy;
        /// <summary>Read: the entry has msgid_plural and msgstr[n] forms.</summary>
        public bool Plural;
        /// <summary>Read: the 1-based line of the entry's first keyword (msgctxt, else msgid).</summary>
        public int Line;
        /// <summary>Written as extracted comment lines (#.), one per line of it; null for none.</summary>
        public string Comment;

        public PoEntry() { }

        public PoEntry(string context, string id, string str)
        {
            Context = context;
            Id = id;
            Str = str;
        }
    }
}
