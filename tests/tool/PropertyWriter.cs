using System;
using System.Collections.Generic;
using System.IO;
using System.Text;

namespace tool.Tests
{
    /// <summary>
    /// Builds the property data of an export's serial data, tag by tag, for
    /// tests of the property walks. Names are referred to by their index in
    /// <see cref="Names"/>, which the writer extends as it meets new names;
    /// writers made with the same list (nested arrays and structs, or several
    /// exports of one package) share one name table.
    ///
    /// Index 0 of the name table is kept free of tag names: a name index of 0
    /// marks the additional data of a SoundNodeWave. <see cref="NameIndex"/>
    /// therefore never returns 0.
    ///
    /// Every method returns the writer, so calls can be chained.
    /// </summary>
    public sealed class PropertyWriter
    {
        /// <summary>The name at index 0 of a fresh name table.</summary>
        public const string ZeroName = "Core";

        private readonly MemoryStream stream = new MemoryStream();
        private readonly BinaryWriter output;

        public PropertyWriter() : this(new List<string> { ZeroName }) { }

        public PropertyWriter(List<string> names)
        {
            if (names == null) throw new ArgumentNullException("names");
            if (names.Count == 0) names.Add(ZeroName);
            Names = names;
            output = new BinaryWriter(stream);
        }

        /// <summary>The shared name table, entry i at index i.</summary>
        public List<string> Names { get; private set; }

        /// <summary>Added to positions when the additional data's offset fields are computed.</summary>
        public long BaseOffset { get; set; }

        /// <summary>Bytes written so far.</summary>
        public long Length { get { return stream.Length; } }

        /// <summary>The property data written so far.</summary>
        public byte[] ToArray()
        {
            output.Flush();
            return stream.ToArray();
        }

        /// <summary>Serial data of an export: the 4 leading bytes the walks pass over, then the property data.</summary>
        public byte[] ToSerialData()
        {
            return ToSerialData(-1);
        }

        public byte[] ToSerialData(int leadingValue)
        {
            var data = ToArray();
            var result = new byte[4 + data.Length];
            BitConverter.GetBytes(leadingValue).CopyTo(result, 0);
            data.CopyTo(result, 4);
            return result;
        }

        /// <summary>The name table as the package reader hands it on.</summary>
        public Dictionary<long, string> NameTable()
        {
            var table = new Dictionary<long, string>();
            for (int i = 0; i < Names.Count; i++) table[i] = Names[i];
            return table;
        }

        /// <summary>Index of a name at position 1 or later, appending it when it is missing.</summary>
        public int NameIndex(string name)
        {
            for (int i = 1; i < Names.Count; i++)
                if (Names[i] == name) return i;
            Names.Add(name);
            return Names.Count - 1;
        }

        /// <summary>A new, empty writer over the same name table.</summary>
        public PropertyWriter Nested()
        {
            return new PropertyWriter(Names);
        }

        // ---- raw pieces -------------------------------------------------

        public PropertyWriter Int32(int value) { output.Write(value); return this; }
        public PropertyWriter Int64(long value) { output.Write(value); return this; }
        public PropertyWriter Byte(byte value) { output.Write(value); return this; }
        public PropertyWriter Bytes(byte[] value) { output.Write(value); return this; }
        public PropertyWriter Zeros(int count) { output.Write(new byte[count]); return this; }

        /// <summary>An 8-byte name reference: the name's index, then 0.</summary>
        public PropertyWriter NameRef(string name)
        {
            output.Write(NameIndex(name));
            output.Write(0);
            return this;
        }

        /// <summary>Name index, name number and type reference of a tag.</summary>
        public PropertyWriter Tag(string name, string type)
        {
            NameRef(name);
            return NameRef(type);
        }

        /// <summary>A tag header from raw values: name index, name number, 64-bit type reference.</summary>
        public PropertyWriter TagRaw(int nameIndex, int nameNumber, long typeReference)
        {
            output.Write(nameIndex);
            output.Write(nameNumber);
            output.Write(typeReference);
            return this;
        }

        /// <summary>The list terminator "None" (8 bytes).</summary>
        public PropertyWriter None()
        {
            return NameRef(PropertyTypes.NoneName);
        }

        // ---- strings --------------------------------------------------

        /// <summary>8-bit string property: UTF-8 bytes of the value plus a NUL, L = byte count.</summary>
        public PropertyWriter Str(string name, string value)
        {
            var bytes = Encoding.UTF8.GetBytes(value + "\0");
            return StrRaw(name, bytes.Length, bytes);
        }

        /// <summary>UTF-16 string property: the value plus U+0000, L = -(code units).</summary>
        public PropertyWriter StrUtf16(string name, string value)
        {
            var bytes = Encoding.Unicode.GetBytes(value + "\0");
            return StrRaw(name, -(bytes.Length / 2), bytes);
        }

        /// <summary>String property with an explicit length L and value bytes; size = bytes + 4, array index 0.</summary>
        public PropertyWriter StrRaw(string name, int length, byte[] bytes)
        {
            return StrFull(name, bytes.Length + 4, 0, length, bytes);
        }

        /// <summary>String property with every field given.</summary>
        public PropertyWriter StrFull(string name, int size, int arrayIndex, int length, byte[] bytes)
        {
            Tag(name, "StrProperty");
            output.Write(size);
            output.Write(arrayIndex);
            output.Write(length);
            output.Write(bytes);
            return this;
        }

        // ---- fixed-size rows ---------------------------------------------

        /// <summary>"BoolProperty": size 0, array index 0, one value byte (9 bytes after the type).</summary>
        public PropertyWriter Bool(string name, bool value)
        {
            Tag(name, "BoolProperty");
            output.Write(0);
            output.Write(0);
            output.Write((byte)(value ? 1 : 0));
            return this;
        }

        /// <summary>"IntProperty" (12 bytes after the type).</summary>
        public PropertyWriter Int(string name, int value)
        {
            return FourByteValue(name, "IntProperty", value);
        }

        /// <summary>"FloatProperty" (12 bytes after the type).</summary>
        public PropertyWriter Float(string name, float value)
        {
            return FourByteValue(name, "FloatProperty", BitConverter.ToInt32(BitConverter.GetBytes(value), 0));
        }

        /// <summary>"ObjectProperty" holding an object reference (12 bytes after the type).</summary>
        public PropertyWriter Object(string name, int reference)
        {
            return FourByteValue(name, "ObjectProperty", reference);
        }

        private PropertyWriter FourByteValue(string name, string type, int value)
        {
            Tag(name, type);
            output.Write(4);
            output.Write(0);
            output.Write(value);
            return this;
        }

        /// <summary>"NameProperty": size 8, array index 0, the value's name reference (16 bytes).</summary>
        public PropertyWriter NameProp(string name, string value)
        {
            Tag(name, "NameProperty");
            output.Write(8);
            output.Write(0);
            return NameRef(value);
        }

        /// <summary>
        /// "ByteProperty" with an enumeration value: size 8, array index 0, the
        /// enumeration's name reference, then the value's name reference. The
        /// walks take only the first 16 bytes after the type, so the value is
        /// read as the next tag's name.
        /// </summary>
        public PropertyWriter ByteEnum(string name, string enumName, string valueName)
        {
            Tag(name, "ByteProperty");
            output.Write(8);
            output.Write(0);
            NameRef(enumName);
            return NameRef(valueName);
        }

        /// <summary>"ByteProperty" with a single value byte: size 1, array index 0, enumeration "None", the byte.</summary>
        public PropertyWriter ByteSingle(string name, byte value)
        {
            Tag(name, "ByteProperty");
            output.Write(1);
            output.Write(0);
            NameRef(PropertyTypes.NoneName);
            output.Write(value);
            return this;
        }

        // ---- arrays ---------------------------------------------------

        /// <summary>
        /// "ArrayProperty" whose elements are written by <paramref name="elements"/>
        /// into a nested writer; S = 4 + the elements' bytes.
        /// </summary>
        public PropertyWriter Array(string name, int count, Action<PropertyWriter> elements)
        {
            var inner = Nested();
            if (elements != null) elements(inner);
            return ArrayWithSize(name, 4 + inner.Length, count, inner.ToArray());
        }

        /// <summary>"ArrayProperty" with an explicit 64-bit S, element count and element bytes.</summary>
        public PropertyWriter ArrayWithSize(string name, long size, int count, byte[] elementBytes)
        {
            Tag(name, "ArrayProperty");
            output.Write(size);
            output.Write(count);
            output.Write(elementBytes);
            return this;
        }

        /// <summary>"ArrayProperty" with an explicit S followed by raw bytes (no element count written).</summary>
        public PropertyWriter ArrayRaw(string name, long size, byte[] content)
        {
            Tag(name, "ArrayProperty");
            output.Write(size);
            output.Write(content);
            return this;
        }

        // ---- structs --------------------------------------------------

        /// <summary>"StructProperty" of size 16: S, struct name, 16 value bytes.</summary>
        public PropertyWriter Struct16(string name, string structName, byte[] value16)
        {
            if (value16.Length != 16) throw new ArgumentException("a 16-byte struct needs 16 value bytes");
            return StructRaw(name, 16, structName, value16);
        }

        /// <summary>"StructProperty" of size S at most 12: S, struct name, always 12 value bytes.</summary>
        public PropertyWriter StructSmall(string name, long size, string structName, byte[] value12)
        {
            if (size > 12) throw new ArgumentException("a small struct has S at most 12");
            if (value12.Length != 12) throw new ArgumentException("a small struct is followed by 12 bytes");
            return StructRaw(name, size, structName, value12);
        }

        /// <summary>
        /// "StructProperty" whose value is a property list written by
        /// <paramref name="inner"/>; S = the inner bytes, which must be neither
        /// 16 nor at most 12 (use <see cref="StructRaw"/> for any other S).
        /// </summary>
        public PropertyWriter StructTags(string name, string structName, Action<PropertyWriter> inner)
        {
            var nested = Nested();
            inner(nested);
            long size = nested.Length;
            if (!PropertyTypes.StructHasInnerTags(size))
                throw new InvalidOperationException("inner tags of " + size + " bytes would not be walked; give S explicitly");
            return StructRaw(name, size, structName, nested.ToArray());
        }

        /// <summary>"StructProperty" with an explicit 64-bit S, struct name and raw value bytes.</summary>
        public PropertyWriter StructRaw(string name, long size, string structName, byte[] value)
        {
            Tag(name, "StructProperty");
            output.Write(size);
            NameRef(structName);
            output.Write(value);
            return this;
        }

        // ---- additional data of a SoundNodeWave ---------------------------

        /// <summary>
        /// One 16-byte bulk-data record. The offset is written as given;
        /// use <see cref="OffsetAfterField"/> for the usual absolute value.
        /// </summary>
        public PropertyWriter BulkRecord(int flags, int count, int storedSize, int offset)
        {
            output.Write(flags);
            output.Write(count);
            output.Write(storedSize);
            output.Write(offset);
            return this;
        }

        /// <summary>
        /// The offset that a record started now would store: the absolute
        /// position (BaseOffset + Length) of the byte after its offset field.
        /// </summary>
        public int OffsetAfterField()
        {
            return (int)(BaseOffset + Length + 16);
        }

        /// <summary>
        /// Well-formed additional data: six records, the second with flags 0
        /// and the inline bytes (count = stored size = their length), the last
        /// four with the given flags (null: all 0, nothing stored).
        /// </summary>
        public PropertyWriter AdditionalData(byte[] inlineData, int[] lastFlags)
        {
            BulkRecord(0, 0, 0, OffsetAfterField());
            BulkRecord(0, inlineData.Length, inlineData.Length, OffsetAfterField());
            output.Write(inlineData);
            for (int i = 0; i < 4; i++)
            {
                int flags = lastFlags == null ? 0 : lastFlags[i];
                if (flags != 0) BulkRecord(flags, 0, 0, OffsetAfterField());
                else BulkRecord(0, 0, 0, 0);
            }
            return this;
        }

        public PropertyWriter AdditionalData(byte[] inlineData)
        {
            return AdditionalData(inlineData, null);
        }
    }
}
