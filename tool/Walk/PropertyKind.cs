// How a property walk treats the bytes after a tag's type reference.
namespace tool
{
    /// <summary>How a property walk treats the bytes after a tag's type reference.</summary>
    public enum PropertyKind
    {
        /// <summary>"StrProperty": size, array index, then a length-prefixed string.</summary>
        String,
        /// <summary>"ArrayProperty": 64-bit size S, then S bytes or walked elements.</summary>
        Array,
        /// <summary>"StructProperty": 64-bit size S, struct name, then a fixed value or inner tags.</summary>
        Struct,
        /// <summary>A fixed number of bytes, given by <c>fixedBytes</c>.</summary>
        Fixed,
        /// <summary>Not a known type: nothing follows, the size field is read as the next name index.</summary>
        Unknown
    }
}
