// A package's name table, each name decoded when it is first looked up.
using System.Collections;
using System.Collections.Generic;

namespace tool
{
    /// <summary>
    /// A package's name table: entry i under key i, its text decoded from the
    /// package's bytes (<see cref="StringValue.DecodeEightBit"/>) when it is
    /// first looked up and kept from then on. A table of millions of names
    /// costs 12 bytes a name (no more than its entry takes in the package)
    /// and a string for each name used, never an object for each name.
    /// </summary>
    public sealed class NameTable : IReadOnlyDictionary<long, string>
    {
        private readonly byte[] package;
        /// <summary>Where each entry's text starts, after its 32-bit length.</summary>
        private readonly int[] starts;
        private readonly string[] decoded;

        /// <summary>
        /// A table whose entry i is the text at starts[i] in package, as many
        /// bytes as the 32-bit length before it says (checked to lie in it).
        /// </summary>
        public NameTable(byte[] package, int[] starts)
        {
            this.package = package;
            this.starts = starts;
            decoded = new string[starts.Length];
        }

        public int Count { get { return starts.Length; } }

        public bool ContainsKey(long key)
        {
            return key >= 0 && key < starts.Length;
        }

        public bool TryGetValue(long key, out string value)
        {
            if (!ContainsKey(key))
            {
                value = null;
                return false;
            }
            value = decoded[key];
            if (value == null)
            {
                int start = starts[key];
                int length = package[start - 4] | (package[start - 3] << 8) | (package[start - 2] << 16) | (package[start - 1] << 24);
                value = decoded[key] = StringValue.DecodeEightBit(package, start, length);
            }
            return true;
        }

        public string this[long key]
        {
            get
            {
                string value;
                if (!TryGetValue(key, out value)) throw new KeyNotFoundException();
                return value;
            }
        }

        public IEnumerable<long> Keys
        {
            get
            {
                for (long i = 0; i < starts.Length; i++) yield return i;
            }
        }

        public IEnumerable<string> Values
        {
            get
            {
                for (long i = 0; i < starts.Length; i++) yield return this[i];
            }
        }

        public IEnumerator<KeyValuePair<long, string>> GetEnumerator()
        {
            for (long i = 0; i < starts.Length; i++) yield return new KeyValuePair<long, string>(i, this[i]);
        }

        IEnumerator IEnumerable.GetEnumerator()
        {
            return GetEnumerator();
        }
    }
}
