// What a property walk reports as it reads a property list: the base class of every sink.
using System;

namespace tool
{
    /// <summary>
    /// What a <see cref="PropertyWalker"/> reports as it reads a property
    /// list. Positions are input offsets; every event comes after the walker
    /// has read (and bounds-checked) the bytes it names. The defaults do
    /// nothing, so a sink overrides only what it uses; but for the walk's
    /// errors, which go to the report the sink was made with.
    /// </summary>
    public abstract class PropertySink
    {
        private readonly Action<long> walkErrors;

        /// <summary>A sink whose walk's errors, each an input offset, go to walkErrors (null: nowhere).</summary>
        protected PropertySink(Action<long> walkErrors)
        {
            this.walkErrors = walkErrors;
        }

        /// <summary>
        /// A name index that is not in the name table; offset is the input
        /// offset 4 bytes before it. The walk goes on 4 bytes further.
        /// </summary>
        public virtual void UnknownName(long offset)
        {
            if (walkErrors != null) walkErrors(offset);
        }

        /// <summary>
        /// A type reference that is not in the name table, at offset. The
        /// current start of the walk ends.
        /// </summary>
        public virtual void UnknownType(long offset)
        {
            if (walkErrors != null) walkErrors(offset);
        }

        /// <summary>
        /// A string property named name: its size and array index at
        /// sizeField, then the stored length L, then the value's byteCount
        /// bytes at valueStart (8-bit for L above 0, UTF-16 below 0).
        /// isText: whether it is a text, as
        /// <see cref="PropertyTypes.IsTextProperty"/>(name, L) says.
        /// </summary>
        public virtual void StringValue(string name, bool isText, long sizeField, int length, long valueStart, long byteCount) { }

        /// <summary>
        /// An array property named name whose elements are walked; its 64-bit
        /// size field is at sizeField. Returns a token for <see cref="ArrayEnd"/>.
        /// </summary>
        public virtual long ArrayStart(string name, long sizeField) { return 0; }

        /// <summary>The walk of the array opened with token is over.</summary>
        public virtual void ArrayEnd(long token) { }

        /// <summary>
        /// A structure whose contents the walk meets as tags of the enclosing
        /// list: a struct property named name with inner tags (isStruct), or
        /// an array met through its "Subtitles" row, named by the row. Its
        /// 32-bit size at sizeField counts from contentStart. Returns a token
        /// for <see cref="EnclosedEnd"/> and <see cref="EnclosedPassed"/>, or
        /// -1 when the sink has no use for its end.
        /// </summary>
        public virtual int EnclosedStart(bool isStruct, string name, long sizeField, long contentStart) { return -1; }

        /// <summary>A tag ended exactly where the structure opened with token says it ends.</summary>
        public virtual void EnclosedEnd(int token) { }

        /// <summary>
        /// A tag ended past the declared end of the structure opened with
        /// token, no tag having ended exactly there: the walk has left it
        /// all the same.
        /// </summary>
        public virtual void EnclosedPassed(int token) { }

        /// <summary>A "None" tag: the end of a property list, of an array element's for one.</summary>
        public virtual void Terminator() { }

        /// <summary>
        /// A sound's additional data: the second bulk-data record's flags and
        /// inline byte count, read before anything after its stored size.
        /// </summary>
        public virtual void AdditionalData(int flags, int count) { }

        /// <summary>
        /// A bulk-data record's 32-bit absolute file offset at offsetField, in
        /// additional data of the form that import accepts (flags 0, inline
        /// bytes above 0): the first two records' and those of the last four
        /// whose flags are not 0.
        /// </summary>
        public virtual void BulkDataOffset(long offsetField) { }

        /// <summary>The walk that was started is over (not reported when it throws).</summary>
        public virtual void WalkEnd() { }
    }
}
