// Large byte arrays, on Linux backed by huge pages.
using System;
using System.Runtime.InteropServices;

namespace tool
{
    /// <summary>
    /// Byte arrays of many MB that are filled once, front to back. The
    /// runtime takes such arrays fresh from the kernel, whose pages are then
    /// first touched one 4 KiB page at a time while they are filled, and on a
    /// virtual machine each first touch is costly. On Linux the kernel is
    /// asked to back the array with 2 MiB pages before it is filled; a
    /// refusal, or any other system, leaves an ordinary array.
    /// </summary>
    public static class LargeArray
    {
        /// <summary>Below this, asking costs more than it can save.</summary>
        private const long AdviceThreshold = 4L << 20;

        private const long HugePage = 2L << 20;
        private const int MadviseHugePage = 14;

        [DllImport("libc", EntryPoint = "madvise")]
        private static extern int Madvise(IntPtr address, UIntPtr length, int advice);

        private static bool adviceAvailable = Platform.IsLinux;

        /// <summary>A new zero-filled array of n bytes, on Linux in huge pages where the kernel agrees.</summary>
        public static byte[] Allocate(long n)
        {
            var array = new byte[n];
            if (n >= AdviceThreshold && adviceAvailable) Advise(array);
            return array;
        }

        private static void Advise(byte[] array)
        {
            GCHandle pin = GCHandle.Alloc(array, GCHandleType.Pinned);
            try
            {
                long start = pin.AddrOfPinnedObject().ToInt64();
                long begin = (start + HugePage - 1) & ~(HugePage - 1);
                long end = (start + array.LongLength) & ~(HugePage - 1);
                if (end > begin) Madvise(new IntPtr(begin), new UIntPtr((ulong)(end - begin)), MadviseHugePage);
            }
            catch (DllNotFoundException) { adviceAvailable = false; }
            catch (EntryPointNotFoundException) { adviceAvailable = false; }
            finally
            {
                pin.Free();
            }
        }
    }
}
