using System;
using System.Collections.Generic;

namespace tool.Tests.Fuzz
{
    /// <summary>
    /// A small deterministic generator (xorshift64*), the same on every
    /// runtime, so a failing case is reproduced from its number alone.
    /// </summary>
    public sealed class FuzzRandom
    {
        private ulong state;

        public FuzzRandom(ulong seed)
        {
            // Spread the seed (splitmix64) so that neighbouring case numbers differ everywhere.
            ulong z = seed + 0x9E3779B97F4A7C15UL;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9UL;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBUL;
            state = (z ^ (z >> 31)) | 1;
        }

        /// <summary>The generator for one case of one fuzz family.</summary>
        public static FuzzRandom ForCase(int family, long caseNumber)
        {
            return new FuzzRandom(((ulong)family << 48) ^ (ulong)caseNumber);
        }

        public ulong NextUInt64()
        {
            state ^= state >> 12;
            state ^= state << 25;
            state ^= state >> 27;
            return state * 0x2545F4914F6CDD1DUL;
        }

        /// <summary>A value from 0 to bound - 1 (bound above 0).</summary>
        public int Next(int bound)
        {
            return (int)(NextUInt64() % (ulong)bound);
        }

        /// <summary>A value from min to max - 1.</summary>
        public int Next(int min, int max)
        {
            return min + Next(max - min);
        }

        /// <summary>True with probability 1 / n.</summary>
        public bool OneIn(int n)
        {
            return Next(n) == 0;
        }

        public int NextInt32()
        {
            return unchecked((int)NextUInt64());
        }

        public T Pick<T>(IList<T> items)
        {
            return items[Next(items.Count)];
        }

        public byte[] Bytes(int length)
        {
            var b = new byte[length];
            for (int i = 0; i < length; i++) b[i] = (byte)NextUInt64();
            return b;
        }
    }
}
