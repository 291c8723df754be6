// The object names of a package's imports, by the negative reference that names import j: -(j + 1).
using System.Collections.Generic;

namespace tool
{
    /// <summary>
    /// The object names of a package's imports: import j (from 0) under the
    /// reference -(j + 1), so the first is -1. References 0 and above, and
    /// those beyond the table, name no import.
    /// </summary>
    public sealed class ImportNames
    {
        private readonly string[] names;

        /// <summary>Import j named names[j].</summary>
        public ImportNames(string[] names)
        {
            this.names = names;
        }

        public int Count { get { return names.Length; } }

        /// <summary>The name of the import that reference names, or null when it names none.</summary>
        public string NameOf(int reference)
        {
            // -(reference + 1) in 64 bits, so that int.MinValue stays outside.
            long j = -((long)reference + 1);
            return j >= 0 && j < names.Length ? names[j] : null;
        }

        /// <summary>The name of the import that reference names; one that names none is not found.</summary>
        public string this[int reference]
        {
            get
            {
                string name = NameOf(reference);
                if (name == null) throw new KeyNotFoundException("no import " + reference);
                return name;
            }
        }

        /// <summary>Whether one of the imports is named so that test says yes.</summary>
        public bool Any(System.Func<string, bool> test)
        {
            foreach (string name in names)
                if (test(name)) return true;
            return false;
        }
    }
}
