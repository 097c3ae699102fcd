#!/usr/bin/env bash
# Checks the Debian packaging of the source tree without building it: debian/control and debian/copyright parse
# (with dpkg's own parser) and say what they must, the versions agree, the launcher is valid shell, and the
# manual page renders without a warning and names the program's files, environment and the demo engine.
# Usage: check-packaging-files.sh <source dir>
set -euo pipefail
cd "$1"

# debian/control: both binary packages, their dependencies from the substitution variables.
perl -MDpkg::Control::Info -e '
    my $info = Dpkg::Control::Info->new("debian/control");
    my @errors;
    my $src = $info->get_source;
    push @errors, "source package is not zqt-desktop" unless ($src->{Source} // "") eq "zqt-desktop";
    push @errors, "Build-Depends lacks debhelper-compat (= 13)"
        unless ($src->{"Build-Depends"} // "") =~ /debhelper-compat \(= 13\)/;
    my %pkgs = map { $_->{Package} => $_ } $info->get_packages;
    my $names = join(" ", sort keys %pkgs);
    push @errors, "binary packages are \"$names\", expected zqt-demo-engine zqt-desktop"
        unless $names eq "zqt-demo-engine zqt-desktop";
    for my $p (values %pkgs) {
        for my $var (q(${shlibs:Depends}), q(${misc:Depends})) {
            push @errors, "$p->{Package}: Depends lacks $var" unless index($p->{Depends} // "", $var) >= 0;
        }
        push @errors, "$p->{Package}: no Description" unless $p->{Description};
    }
    die join("\n", @errors) . "\n" if @errors;
    print "debian/control: $names\n";
'

# debian/copyright: the machine-readable format; every Files paragraph has a Copyright and a License whose text
# is there, and every pattern matches a file of the tree.
perl -MDpkg::Control::HashCore -e '
    open(my $fh, "<", "debian/copyright") or die "debian/copyright: $!\n";
    my @paragraphs;
    while (1) {
        my $p = Dpkg::Control::HashCore->new;
        last unless $p->parse($fh, "debian/copyright");
        push @paragraphs, $p;
    }
    my @errors;
    my $header = shift @paragraphs;
    push @errors, "first paragraph lacks the copyright-format 1.0 Format field"
        unless ($header->{Format} // "") =~ m{^https://www\.debian\.org/doc/packaging-manuals/copyright-format/1\.0/?$};
    my (%texts, @used);
    for my $p (@paragraphs) {
        my ($name, $text) = split(/\n/, $p->{License} // "", 2);
        if (exists $p->{Files}) {
            push @errors, "Files: $p->{Files}: no Copyright" unless $p->{Copyright};
            push @errors, "Files: $p->{Files}: no License" unless defined $name && length $name;
            push @used, $name if defined $name && !defined $text;
            for my $pattern (split " ", $p->{Files}) {
                next if $pattern eq "*";
                my @hits = glob($pattern);
                push @errors, "Files: $pattern matches no file" unless @hits && -e $hits[0];
            }
        } elsif (defined $name) {
            push @errors, "License: $name: no text" unless defined $text && $text =~ /\S/;
            $texts{$name} = 1;
        } else {
            push @errors, "a paragraph with neither Files nor License";
        }
    }
    push @errors, "no Files paragraph" unless grep { exists $_->{Files} } @paragraphs;
    for my $name (@used) {
        push @errors, "License $name is used but its text is nowhere" unless $texts{$name};
    }
    die join("\n", @errors) . "\n" if @errors;
    printf "debian/copyright: %d paragraphs\n", scalar(@paragraphs) + 1;
'

bash scripts/check-version.sh
bash -n debian/zqt-desktop-launcher
grep -qx '%:' debian/rules && grep -q 'dh \$@ --buildsystem=cmake' debian/rules
for f in debian/*.lintian-overrides; do
    [ -e "$f" ] || continue
    # Every override has a reason: a comment line right above it.
    awk -v f="$f" '!/^#/ && NF && prev !~ /^#/ { print f ": override without a reason: " $0 > "/dev/stderr"; bad = 1 } { prev = $0 }
        END { exit bad }' "$f"
done

# The manual page: no warning from man (as lintian checks it), and the sections and facts it must give.
page=docs/zqt-desktop.1
warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
if [ -n "$warnings" ]; then
    echo "$page: man warns:" >&2
    echo "$warnings" >&2
    exit 1
fi
text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null | col -b)
for want in NAME SYNOPSIS DESCRIPTION OPTIONS FILES ENVIRONMENT "DEMO ENGINE" --help --version \
    ZQT_OPERATOR_PASS .config/zqt/desktop-control.json .local/share/zqt-desktop/web .local/share/zqt/engine \
    zqt-demo-engine /usr/lib/zqt-demo-engine/install-demo-home demo@zqt.local; do
    grep -qF -- "$want" <<<"$text" || { echo "$page: rendered page lacks '$want'" >&2; exit 1; }
done
echo "$page renders without warnings"
