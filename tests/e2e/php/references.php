<?php
// Pairs every reference of a site page with what the page served by WordPress holds in its
// place, and says which file of the site each one names, as a browser would find it when the
// site is opened from its folder.
//
// Usage: php references.php SITE_DIR PAGE_PATH SOURCE_FILE SERVED_FILE
// PAGE_PATH is the page's path in the site. One line per reference, tab-separated:
//   file  REFERENCE  SERVED  SITE_FILE   names SITE_FILE
//   none  REFERENCE  SERVED              names nothing in the site (a broken link of the site's own)
// and "mismatch  WHERE" when the two pages do not hold the same references in the same places.
// References to other hosts, in-page anchors, data: and the like are not listed.

require_once __DIR__ . '/paths.php';

function utf8_of( $bytes ) {
    if ( 0 === strncmp( $bytes, "\xEF\xBB\xBF", 3 ) ) {
        return substr( $bytes, 3 );
    }
    return mb_check_encoding( $bytes, 'UTF-8' ) ? $bytes : mb_convert_encoding( $bytes, 'UTF-8', 'Windows-1252' );
}

function load_page( $file ) {
    $dom = new DOMDocument();
    $dom->loadHTML( '<?xml encoding="UTF-8">' . utf8_of( file_get_contents( $file ) ), LIBXML_NOERROR | LIBXML_NOWARNING | LIBXML_NONET );
    return $dom;
}

// The addresses in a piece of CSS, in order: url() in any quoting and @import "…".
function css_refs( $css ) {
    $css = preg_replace_callback( '#/\*.*?\*/#s', function ( $m ) { return str_repeat( ' ', strlen( $m[0] ) ); }, $css );
    preg_match_all( '#url\(\s*(?:"([^"]*)"|\'([^\']*)\'|([^)\s\'"]*))\s*\)|@import\s*(?:"([^"]*)"|\'([^\']*)\')#i', $css, $m, PREG_SET_ORDER );
    $refs = array();
    foreach ( $m as $match ) {
        $parts  = array_pad( $match, 6, '' );
        $refs[] = $parts[1] . $parts[2] . $parts[3] . $parts[4] . $parts[5];
    }
    return $refs;
}

// The URLs of a srcset, candidate by candidate.
function srcset_refs( $value ) {
    $refs = array();
    $n    = strlen( $value );
    $p    = 0;
    while ( true ) {
        while ( $p < $n && false !== strpos( " \t\n\r\f,", $value[ $p ] ) ) {
            $p++;
        }
        if ( $p >= $n ) {
            break;
        }
        $start = $p;
        while ( $p < $n && false === strpos( " \t\n\r\f", $value[ $p ] ) ) {
            $p++;
        }
        $url = substr( $value, $start, $p - $start );
        if ( ',' === substr( $url, -1 ) ) {
            $refs[] = rtrim( $url, ',' );
            continue;
        }
        $depth = 0;
        for ( ; $p < $n; $p++ ) {
            if ( '(' === $value[ $p ] ) {
                $depth++;
            } elseif ( ')' === $value[ $p ] && $depth > 0 ) {
                $depth--;
            } elseif ( ',' === $value[ $p ] && 0 === $depth ) {
                $p++;
                break;
            }
        }
        $refs[] = $url;
    }
    return $refs;
}

// Every reference of the page as a list of [where, value], in document order.
function page_refs( DOMDocument $dom ) {
    $refs  = array();
    $xpath = new DOMXPath( $dom );
    $n     = 0;
    foreach ( $xpath->query( '//*' ) as $el ) {
        $n++;
        $tag = strtolower( $el->nodeName );
        if ( 'style' === $tag ) {
            foreach ( css_refs( $el->textContent ) as $value ) {
                $refs[] = array( "element $n <style>", $value );
            }
        }
        if ( 'base' === $tag ) {
            continue;
        }
        foreach ( $el->attributes as $attr ) {
            $name  = strtolower( $attr->nodeName );
            $where = "element $n <$tag $name>";
            if ( in_array( $name, array( 'src', 'href', 'xlink:href', 'poster', 'background', 'lowsrc', 'action', 'formaction' ), true )
                || ( 'data' === $name && 'object' === $tag ) ) {
                $refs[] = array( $where, trim( $attr->value, " \t\n\r\f" ) );
            } elseif ( 'srcset' === $name || 'imagesrcset' === $name ) {
                foreach ( srcset_refs( $attr->value ) as $value ) {
                    $refs[] = array( $where, $value );
                }
            } elseif ( 'style' === $name ) {
                foreach ( css_refs( $attr->value ) as $value ) {
                    $refs[] = array( $where, trim( $value ) );
                }
            }
        }
    }
    return $refs;
}

function site_files( $site ) {
    $files = array();
    $it    = new RecursiveIteratorIterator( new RecursiveDirectoryIterator( $site, FilesystemIterator::SKIP_DOTS ) );
    foreach ( $it as $file ) {
        if ( $file->isFile() ) {
            $files[] = substr( $file->getPathname(), strlen( $site ) + 1 );
        }
    }
    return $files;
}

// The site file a local reference names, '' when it names none, null when it is not local.
function named_file( $ref, $page_dir, $site, $folded ) {
    if ( '' === $ref || '#' === $ref[0] || '?' === $ref[0] || preg_match( '#^([a-z][a-z0-9+.-]*:|//|\\\\\\\\)#i', $ref ) ) {
        return null;
    }
    $path = str_replace( '\\', '/', preg_split( '/[?#]/', $ref )[0] );
    $bases = '/' === substr( $path, 0, 1 ) ? array( '' ) : array_unique( array( $page_dir, '' ) );
    $tries = array();
    foreach ( array_unique( array( rawurldecode( $path ), $path ) ) as $spelling ) {
        foreach ( $bases as $base ) {
            $p = normalise_path( $base . '/' . $spelling );
            if ( null === $p ) {
                continue;
            }
            if ( '' !== $p && is_file( "$site/$p" ) ) {
                return $p;
            }
            foreach ( array( 'index.html', 'index.htm' ) as $index ) {
                $in = '' === $p ? $index : "$p/$index";
                if ( is_dir( "$site/$p" ) && is_file( "$site/$in" ) ) {
                    return $in;
                }
            }
            $tries[] = $p;
        }
    }
    foreach ( $tries as $p ) {
        $same = $folded[ mb_strtolower( $p ) ] ?? array();
        if ( 1 === count( $same ) ) {
            return $same[0];
        }
    }
    return '';
}

list( , $site, $page_path, $source_file, $served_file ) = $argv + array_fill( 0, 5, null );
if ( ! $served_file ) {
    fwrite( STDERR, "usage: references.php SITE_DIR PAGE_PATH SOURCE_FILE SERVED_FILE\n" );
    exit( 2 );
}
$folded = array();
foreach ( site_files( $site ) as $file ) {
    $folded[ mb_strtolower( $file ) ][] = $file;
}
$page_dir = dirname( $page_path );
$page_dir = '.' === $page_dir ? '' : $page_dir;

$source = page_refs( load_page( $source_file ) );
$served = page_refs( load_page( $served_file ) );
if ( count( $source ) !== count( $served ) ) {
    echo "mismatch\t", count( $source ), ' references in the site page, ', count( $served ), " in the served page\n";
    exit( 0 );
}
foreach ( $source as $i => list( $where, $ref ) ) {
    if ( $served[ $i ][0] !== $where ) {
        echo "mismatch\t$where in the site page, {$served[$i][0]} in the served page\n";
        exit( 0 );
    }
    $file = named_file( $ref, $page_dir, $site, $folded );
    if ( null === $file ) {
        continue;
    }
    echo '' === $file ? "none\t$ref\t{$served[$i][1]}\n" : "file\t$ref\t{$served[$i][1]}\t$file\n";
}
