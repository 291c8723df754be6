// The one description of the property-tag layout inside serial data: the type table.
namespace tool
{
    /// <summary>
    /// The one description of the property-tag layout inside serial data.
    /// Extraction skips and import copies exactly the byte counts given here,
    /// so the two walks can never disagree about where a tag ends.
    /// All counts are taken from the end of the tag's 8-byte type reference.
    /// </summary>
    public static class PropertyTypes
    {
        /// <summary>The name that ends a property list (it does not end a walk).</summary>
        public const string NoneName = "None";

        /// <summary>Bytes of a type reference or any other name reference.</summary>
        public const int NameReferenceBytes = 8;

        /// <summary>Bytes of the size and array index that start every remainder.</summary>
        public const int SizeAndIndexBytes = 8;

        /// <summary>Arrays whose S is at most this many bytes are passed over whole.</summary>
        public const long ArrayInlineLimit = 24;

        /// <summary>
        /// Classifies a type name. For <see cref="PropertyKind.Fixed"/> the
        /// remainder is exactly <paramref name="fixedBytes"/> bytes; for every
        /// other kind <paramref name="fixedBytes"/> is 0.
        /// "Subtitles", "LocalizedSubtitles" and "SkeletalMeshFragmentName" are
        /// property names, met in type position after a "ByteProperty" whose
        /// 16 bytes end before its 8-byte value.
        /// </summary>
        public static PropertyKind Classify(string typeName, out int fixedBytes)
        {
            // Compared by length first, so that no table of the names is
            // built to compare them by (a switch on strings builds one).
            fixedBytes = 0;
            switch (typeName == null ? 0 : typeName.Length)
            {
                case 9:
                    if (typeName == "Subtitles") { fixedBytes = 20; return PropertyKind.Fixed; }
                    break;
                case 11:
                    if (typeName == "StrProperty") return PropertyKind.String;
                    if (typeName == "IntProperty") { fixedBytes = 12; return PropertyKind.Fixed; }
                    break;
                case 12:
                    if (typeName == "BoolProperty") { fixedBytes = 9; return PropertyKind.Fixed; }
                    if (typeName == "ByteProperty" || typeName == "NameProperty") { fixedBytes = 16; return PropertyKind.Fixed; }
                    break;
                case 13:
                    if (typeName == "ArrayProperty") return PropertyKind.Array;
                    if (typeName == "FloatProperty") { fixedBytes = 12; return PropertyKind.Fixed; }
                    break;
                case 14:
                    if (typeName == "StructProperty") return PropertyKind.Struct;
                    if (typeName == "ObjectProperty") { fixedBytes = 12; return PropertyKind.Fixed; }
                    break;
                case 18:
                    if (typeName == "LocalizedSubtitles") { fixedBytes = 20; return PropertyKind.Fixed; }
                    break;
                case 24:
                    if (typeName == "SkeletalMeshFragmentName") { fixedBytes = 24; return PropertyKind.Fixed; }
                    break;
            }
            return PropertyKind.Unknown;
        }

        /// <summary>
        /// Whether a fixed row stands for an array property met through a
        /// "ByteProperty": its 20 bytes are the array's real type reference,
        /// size, array index and element count, and its elements follow.
        /// </summary>
        public static bool IsArrayRow(string typeName)
        {
            return typeName == "Subtitles" || typeName == "LocalizedSubtitles";
        }

        /// <summary>
        /// Whether a string property's value is a text (one line of the text
        /// file). <paramref name="length"/> is the stored length L: above 0 for
        /// 8-bit text, below 0 for UTF-16, 0 for an empty value (never a text).
        /// </summary>
        public static bool IsTextProperty(string name, int length)
        {
            if (length > 0)
                return name == "Text" || name == "Description" || name == "SpokenText" || name == "Comment";
            if (length < 0)
                return name == "Text" || name == "Description";
            return false;
        }

        /// <summary>Byte count of a string value with stored length L (8-bit: L, UTF-16: -2L).</summary>
        public static long StringValueBytes(int length)
        {
            return length >= 0 ? length : -2L * length;
        }

        /// <summary>Whether an array of size S has its elements walked (S above 24, signed).</summary>
        public static bool ArrayIsWalked(long size)
        {
            return size > ArrayInlineLimit;
        }

        /// <summary>
        /// Fixed value bytes of a struct of size S: 16 when S is 16, 12 when S
        /// is at most 12 (signed, so also for smaller S), otherwise 0 and the
        /// struct's own tags follow.
        /// </summary>
        public static int StructValueBytes(long size)
        {
            if (size == 16) return 16;
            if (size <= 12) return 12;
            return 0;
        }

        /// <summary>Whether a struct of size S is followed by its own tags.</summary>
        public static bool StructHasInnerTags(long size)
        {
            return StructValueBytes(size) == 0;
        }

        /// <summary>
        /// Bytes after a struct's 64-bit size S, struct name included: 24 when
        /// S is 16, 20 when S is at most 12, otherwise 8 (then inner tags).
        /// Import copies this many; extraction skips the same total.
        /// </summary>
        public static int StructBytesAfterSize(long size)
        {
            return StructValueBytes(size) + NameReferenceBytes;
        }
    }
}
