// Linked with one engine layer whole and the layers below it, and nothing
// else: it builds only when the layer calls nothing above it.
int main()
{
    return 0;
}
