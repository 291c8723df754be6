namespace tool
{
    /// <summary>Why a PO file is refused; <see cref="PoRefusal.Describe"/> gives each a short phrase.</summary>
    public enum PoProblem
    {
        /// <summary>Text where a keyword or a string must stand, a keyword out of order, an entry cut short.</summary>
        Syntax,
        /// <summary>A backslash followed by something that is no escape.</summary>
        UnknownEscape,
        /// <summary>An octal or hex escape whose value does not fit in one byte.</summary>
        EscapeOutOfRange,
        /// <summary>A string whose closing quote is missing before the line or the file ends.</summary>
        UnterminatedString,
        /// <summary>Bytes that are not UTF-8, in the file or made by escapes.</summary>
        InvalidUtf8,
        /// <summary>A NUL character, raw or escaped: no PO text can hold one.</summary>
        NulCharacter,
        /// <summary>U+0004 in a string: gettext's separator of context and msgid.</summary>
        ContextSeparator,
        /// <summary>A header whose charset is other than UTF-8 (ASCII and the CHARSET placeholder read as UTF-8).</summary>
        UnsupportedCharset,
        /// <summary>A second live entry with the same msgctxt and msgid.</summary>
        DuplicateEntry
    }

    /// <summary>
    /// A PO file's refusal: the 1-based line where reading stopped and the
    /// problem found there. The caller makes it one console line naming the
    /// file, e.g. "Foo.po, line 12: " + Describe().
    /// </summary>
    public sealed class PoRefusal
    {
        public readonly int Line;
        public readonly PoProblem Problem;

        public PoRefusal(int line, PoProblem problem)
        {
            Line = line;
            Problem = problem;
        }

        /// <summary>A short English phrase for the problem, without a full stop.</summary>
        public string Describe()
        {
            switch (Problem)
            {
                case PoProblem.UnknownEscape: return "unknown escape sequence";
                case PoProblem.EscapeOutOfRange: return "escape value larger than one byte";
                case PoProblem.UnterminatedString: return "string without its closing quote";
                case PoProblem.InvalidUtf8: return "text that is not valid UTF-8";
                case PoProblem.NulCharacter: return "NUL character";
                case PoProblem.ContextSeparator: return "control character U+0004 in a string";
                case PoProblem.UnsupportedCharset: return "charset other than UTF-8";
                case PoProblem.DuplicateEntry: return "second entry with the same msgctxt and msgid";
                default: return "syntax error";
            }
        }

        public override string ToString()
        {
            return "line " + Line + ": " + Describe();
        }
    }
}
