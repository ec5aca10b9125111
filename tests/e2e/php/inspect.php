<?php
// Reads pages, style sheets and archives for the end-to-end checks.
// Usage: php inspect.php COMMAND ARGS... (see the cases below). Exit 0 when what was asked holds.

require_once __DIR__ . '/paths.php';

function load_dom( $file ) {
    $dom = new DOMDocument();
    // Without a declared encoding libxml reads the bytes as Latin-1.
    $dom->loadHTML( '<?xml encoding="UTF-8">' . file_get_contents( $file ), LIBXML_NOERROR | LIBXML_NOWARNING | LIBXML_NONET );
    return new DOMXPath( $dom );
}

function resolve_url( $base, $ref ) {
    if ( preg_match( '#^[a-z][a-z0-9+.-]*:#i', $ref ) ) {
        return $ref;
    }
    $origin = preg_replace( '#^([a-z]+://[^/]+).*$#i', '$1', $base );
    if ( '' === $ref ) {
        return $base;
    }
    if ( '/' === $ref[0] ) {
        return $origin . $ref;
    }
    $dir = preg_replace( '#[^/]*(\?.*)?$#', '', $base );
    return $dir . $ref;
}

// What a browser sends for a file path typed into a page: each segment percent-encoded.
function encode_path( $path ) {
    return implode( '/', array_map( 'rawurlencode', explode( '/', $path ) ) );
}

$command = $argv[1] ?? '';
$args    = array_slice( $argv, 2 );

switch ( $command ) {
    // form PAGE_FILE PAGE_URL FORM_XPATH [name=value...]: the form's target address on the first
    // line and, on the second, the body a browser would send, with the given fields set.
    // form-fields: the same fields as "name<TAB>value" lines, for a multipart upload.
    case 'form':
    case 'form-fields':
        list( $file, $page_url, $xpath ) = $args;
        $xp   = load_dom( $file );
        $form = $xp->query( $xpath )->item( 0 );
        if ( ! $form ) {
            fwrite( STDERR, "no form matches $xpath\n" );
            exit( 1 );
        }
        $fields = array();
        foreach ( $xp->query( './/input | .//textarea | .//select', $form ) as $el ) {
            $name = $el->getAttribute( 'name' );
            if ( '' === $name || $el->hasAttribute( 'disabled' ) ) {
                continue;
            }
            $type = strtolower( $el->getAttribute( 'type' ) );
            if ( 'input' === $el->nodeName ) {
                if ( in_array( $type, array( 'submit', 'button', 'image', 'reset', 'file' ), true ) ) {
                    continue;
                }
                if ( in_array( $type, array( 'checkbox', 'radio' ), true ) ) {
                    if ( $el->hasAttribute( 'checked' ) ) {
                        $fields[] = array( $name, $el->hasAttribute( 'value' ) ? $el->getAttribute( 'value' ) : 'on' );
                    }
                    continue;
                }
                $fields[] = array( $name, $el->getAttribute( 'value' ) );
            } elseif ( 'textarea' === $el->nodeName ) {
                $fields[] = array( $name, $el->textContent );
            } else {
                $options  = $xp->query( './/option[@selected]', $el );
                $option   = $options->length ? $options->item( 0 ) : $xp->query( './/option', $el )->item( 0 );
                $fields[] = array( $name, $option ? ( $option->hasAttribute( 'value' ) ? $option->getAttribute( 'value' ) : $option->textContent ) : '' );
            }
        }
        foreach ( array_slice( $args, 3 ) as $pair ) {
            list( $name, $value ) = explode( '=', $pair, 2 );
            $fields = array_values( array_filter( $fields, function ( $f ) use ( $name ) { return $f[0] !== $name; } ) );
            $fields[] = array( $name, $value );
        }
        echo resolve_url( $page_url, $form->getAttribute( 'action' ) ), "\n";
        if ( 'form' === $command ) {
            echo implode( '&', array_map( function ( $f ) { return rawurlencode( $f[0] ) . '=' . rawurlencode( $f[1] ); }, $fields ) ), "\n";
        } else {
            foreach ( $fields as $f ) {
                echo $f[0], "\t", $f[1], "\n";
            }
        }
        break;

    // value FILE XPATH: the text of the first node that matches, nothing when none does.
    case 'value':
        $node = load_dom( $args[0] )->query( $args[1] )->item( 0 );
        echo $node ? $node->textContent : '';
        exit( $node ? 0 : 1 );

    // count FILE XPATH: how many nodes match.
    case 'count':
        echo load_dom( $args[0] )->query( $args[1] )->length, "\n";
        break;

    // assets PAGE_FILE PLUGIN_URL: one line per src/href that points into the plugin folder
    // ("asset URL<TAB>path in the site"), and "left<TAB>value" for a relative one nobody rewrote.
    case 'assets':
        list( $file, $base ) = $args;
        preg_match_all( '#\b(?:src|href)="([^"]*)"#i', file_get_contents( $file ), $m );
        foreach ( array_unique( $m[1] ) as $value ) {
            $value = html_entity_decode( $value, ENT_QUOTES | ENT_HTML5, 'UTF-8' );
            if ( 0 === strpos( $value, $base ) ) {
                // The file's path in the site: without query and fragment, its percent-encoding undone.
                $rel = rawurldecode( preg_split( '/[?#]/', substr( $value, strlen( $base ) ) )[0] );
                echo $base, encode_path( $rel ), "\t", $rel, "\n";
            } elseif ( '' !== $value && ! preg_match( '#^([a-z][a-z0-9+.-]*:|//|\#)#i', $value ) ) {
                echo "left\t", $value, "\n";
            }
        }
        break;

    // links PAGE_FILE PAGE_URL: every address the page's markup holds (src, href, action, poster,
    // srcset candidates, data-* values), made absolute against the page's address, one a line.
    case 'links':
        list( $file, $page_url ) = $args;
        $xp = load_dom( $file );
        foreach ( $xp->query( '//@*' ) as $attr ) {
            $name   = strtolower( $attr->nodeName );
            $values = array();
            if ( in_array( $name, array( 'src', 'href', 'action', 'poster', 'background', 'data' ), true ) || 0 === strpos( $name, 'data-' ) ) {
                $values[] = trim( $attr->value );
            } elseif ( 'srcset' === $name ) {
                foreach ( explode( ',', $attr->value ) as $candidate ) {
                    $values[] = preg_split( '/\s+/', trim( $candidate ) )[0];
                }
            }
            foreach ( $values as $value ) {
                if ( '' !== $value && '#' !== $value[0] && ! preg_match( '#^(mailto|javascript|data|tel):#i', $value ) && false === strpos( $value, ' ' ) ) {
                    echo resolve_url( $page_url, $value ), "\n";
                }
            }
        }
        break;

    // css STYLESHEET_FILE PATH_IN_SITE PLUGIN_URL: the url(...) references of a style sheet,
    // resolved against the sheet's own address, as "asset URL<TAB>path in the site".
    case 'css':
        list( $file, $css_rel, $base ) = $args;
        preg_match_all( '#url\(\s*(["\']?)(.*?)\1\s*\)#i', file_get_contents( $file ), $m );
        foreach ( array_unique( $m[2] ) as $ref ) {
            if ( preg_match( '#^([a-z][a-z0-9+.-]*:|//|/)#i', $ref ) ) {
                continue;
            }
            $rel = normalise_path( dirname( $css_rel ) . '/' . $ref );
            echo null === $rel ? "outside\t$ref" : $base . encode_path( $rel ) . "\t" . $rel, "\n";
        }
        break;

    // around SOURCE_PAGE TAG_FILE RESPONSE_FILE MARKER...: the response holds the tag with
    // the source's text from the start of the marker's line before it and the rest of that line
    // after it (without the line break, which PHP drops after a closing tag).
    case 'around':
        list( $source_file, $tag_file, $response_file ) = $args;
        $source   = file_get_contents( $source_file );
        $tag      = file_get_contents( $tag_file );
        $response = file_get_contents( $response_file );
        foreach ( array_slice( $args, 3 ) as $marker ) {
            $at = strpos( $source, $marker );
            if ( false === $at ) {
                continue;
            }
            $line_start = strrpos( substr( $source, 0, $at ), "\n" );
            $before     = substr( $source, false === $line_start ? 0 : $line_start + 1, $at - ( false === $line_start ? 0 : $line_start + 1 ) );
            $rest       = substr( $source, $at + strlen( $marker ) );
            $line_end   = strpos( $rest, "\n" );
            $after      = false === $line_end ? $rest : substr( $rest, 0, $line_end );
            if ( false !== strpos( $response, $before . $tag . $after ) ) {
                exit( 0 );
            }
            fwrite( STDERR, 'expected: ' . $before . $tag . $after . "\n" );
            exit( 1 );
        }
        fwrite( STDERR, "no marker in the source page\n" );
        exit( 1 );

    // utf8 SOURCE_PAGE RESPONSE_FILE: the response is valid UTF-8 and carries, byte for byte,
    // every line of the source that holds non-ASCII text and nothing the build rewrites.
    case 'utf8':
        list( $source_file, $response_file ) = $args;
        $response = file_get_contents( $response_file );
        if ( ! mb_check_encoding( $response, 'UTF-8' ) ) {
            fwrite( STDERR, "the response is not valid UTF-8\n" );
            exit( 1 );
        }
        $lines = 0;
        foreach ( file( $source_file, FILE_IGNORE_NEW_LINES ) as $line ) {
            if ( ! preg_match( '/[\x80-\xff]/', $line ) || preg_match( '/"[^"]*\.[a-z0-9]+"|#(front|back)#|<\?/i', $line ) ) {
                continue;
            }
            $lines++;
            if ( false === strpos( $response, trim( $line ) ) ) {
                fwrite( STDERR, 'missing: ' . trim( $line ) . "\n" );
                exit( 1 );
            }
        }
        if ( ! $lines ) {
            fwrite( STDERR, "the source page has no non-ASCII line to compare\n" );
            exit( 1 );
        }
        echo $lines, "\n";
        break;

    // zip ARCHIVE: the archive's entry names, one a line.
    case 'zip':
        $zip    = new ZipArchive();
        $opened = $zip->open( $args[0] );
        if ( true !== $opened ) {
            fwrite( STDERR, "ZipArchive::open refused it: error $opened\n" );
            exit( 1 );
        }
        for ( $i = 0; $i < $zip->numFiles; $i++ ) {
            echo $zip->getNameIndex( $i ), "\n";
        }
        break;

    default:
        fwrite( STDERR, "unknown command '$command'\n" );
        exit( 2 );
}
