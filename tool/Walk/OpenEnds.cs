// The declared ends of the structures a walk has entered, smallest first.
using System.Collections.Generic;

namespace tool
{
    /// <summary>
    /// The declared ends of the structures a walk has entered, each with its
    /// sink token, smallest end first (a binary heap), so that finding those
    /// that end at a position costs nothing while none is due, however many
    /// are open.
    /// </summary>
    public sealed class OpenEnds
    {
        private readonly List<long> ends = new List<long>();
        private readonly List<int> tokens = new List<int>();

        public int Count { get { return ends.Count; } }

        /// <summary>The smallest end; only when Count is above 0.</summary>
        public long Smallest { get { return ends[0]; } }

        public void Add(long end, int token)
        {
            ends.Add(end);
            tokens.Add(token);
            int i = ends.Count - 1;
            while (i > 0)
            {
                int parent = (i - 1) / 2;
                if (ends[parent] <= end) break;
                Move(parent, i);
                i = parent;
            }
            ends[i] = end;
            tokens[i] = token;
        }

        /// <summary>Removes the entry with the smallest end; only when Count is above 0.</summary>
        public void RemoveSmallest(out long end, out int token)
        {
            end = ends[0];
            token = tokens[0];
            int last = ends.Count - 1;
            long movedEnd = ends[last];
            int movedToken = tokens[last];
            ends.RemoveAt(last);
            tokens.RemoveAt(last);
            if (last == 0) return;
            int i = 0;
            while (true)
            {
                int child = 2 * i + 1;
                if (child >= last) break;
                if (child + 1 < last && ends[child + 1] < ends[child]) child++;
                if (ends[child] >= movedEnd) break;
                Move(child, i);
                i = child;
            }
            ends[i] = movedEnd;
            tokens[i] = movedToken;
        }

        public void Clear()
        {
            ends.Clear();
            tokens.Clear();
        }

        private void Move(int from, int to)
        {
            ends[to] = ends[from];
            tokens[to] = tokens[from];
        }
    }
}
