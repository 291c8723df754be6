using System;
using System.Diagnostics;

namespace tool.Tests.Fuzz
{
    /// <summary>
    /// How many cases a fuzz family runs. By default a fixed number, the same
    /// cases on every run (with a time cap as a safety net on slow machines).
    /// SCRIVEL_FUZZ_SECONDS=n gives every family a share of n seconds
    /// instead; SCRIVEL_FUZZ_FIRST=k starts at case k and SCRIVEL_FUZZ_CASES=n
    /// runs n cases, to replay a reported one.
    /// </summary>
    public sealed class FuzzBudget
    {
        private readonly Stopwatch clock = Stopwatch.StartNew();
        private long defaultCases;
        private readonly double seconds;
        private readonly bool timed;

        public readonly long First;

        /// <param name="defaultCases">Cases in a normal run.</param>
        /// <param name="capSeconds">Time cap of a normal run.</param>
        /// <param name="share">This family's share of SCRIVEL_FUZZ_SECONDS.</param>
        public FuzzBudget(long defaultCases, double capSeconds, double share)
        {
            this.defaultCases = defaultCases;
            seconds = capSeconds;
            double total;
            string setting = Environment.GetEnvironmentVariable("SCRIVEL_FUZZ_SECONDS");
            if (!string.IsNullOrEmpty(setting) && double.TryParse(setting, System.Globalization.NumberStyles.Float,
                    System.Globalization.CultureInfo.InvariantCulture, out total) && total > 0)
            {
                timed = true;
                seconds = total * share;
            }
            long first;
            string start = Environment.GetEnvironmentVariable("SCRIVEL_FUZZ_FIRST");
            First = !string.IsNullOrEmpty(start) && long.TryParse(start, out first) && first >= 0 ? first : 0;
            long cases;
            string count = Environment.GetEnvironmentVariable("SCRIVEL_FUZZ_CASES");
            if (!string.IsNullOrEmpty(count) && long.TryParse(count, out cases) && cases > 0)
            {
                this.defaultCases = cases;
                timed = false;
                seconds = double.MaxValue;
            }
        }

        /// <summary>Whether case number caseNumber (counted from First) should still run.</summary>
        public bool Continue(long caseNumber)
        {
            if (clock.Elapsed.TotalSeconds >= seconds) return false;
            return timed || caseNumber - First < defaultCases;
        }

        public double ElapsedSeconds { get { return clock.Elapsed.TotalSeconds; } }

        /// <summary>
        /// Runs one family's cases within this budget, prints its summary
        /// line and fails with the faults found, by case number.
        /// </summary>
        public void Run(string family, Action<long, FaultList> runCase)
        {
            var faults = new FaultList();
            for (long c = First; Continue(c); c++)
            {
                runCase(c, faults);
                faults.Cases++;
            }
            Console.WriteLine(family + ": " + faults.Summary());
            NUnit.Framework.Assert.Greater(faults.Cases, 0);
            NUnit.Framework.Assert.AreEqual(0, faults.Count, faults.Report());
        }
    }
}
