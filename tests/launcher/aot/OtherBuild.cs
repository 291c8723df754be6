// Another build of the Text tool, as far as the runtime can tell: an
// assembly named Scrivel with the tool's entry point, whose precompiled
// image the stale-image test puts into an archive beside the real tool.
namespace tool
{
    public static class Scrivel
    {
        public static void Main(string[] args)
        {
            System.Console.WriteLine("another build");
        }
    }
}
