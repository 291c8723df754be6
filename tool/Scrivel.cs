namespace tool
{
    public static partial class Scrivel
    {
        public static void Main(string[] args)
        {
            ConsoleOut.Write("..DONE..");
        }
    }
}
